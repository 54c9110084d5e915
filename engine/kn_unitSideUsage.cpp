#include "engine/kn_unitSideUsage.h"

#include "engine/kn_unitSideRegistry.h"

namespace kn {

namespace {

std::string HtmlEscaped(std::string_view text)
{
    std::string out;
    for (char c : text) {
        if (c == '&')
            out += "&amp;";
        else if (c == '<')
            out += "&lt;";
        else if (c == '>')
            out += "&gt;";
        else
            out += c;
    }
    return out;
}

// Roff text: a backslash doubled, every "-" a minus sign (as options are written), and a line
// that would begin with a control character started with "\&".
std::string RoffEscaped(std::string_view text)
{
    std::string out = text.empty() || (text[0] != '.' && text[0] != '\'') ? "" : "\\&";
    for (char c : text) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '-')
            out += "\\-";
        else
            out += c;
    }
    return out;
}

std::string Escaped(std::string_view text, TKNUsageFormat format)
{
    switch (format) {
        case TKNUsageFormat::Roff:
            return RoffEscaped(text);
        case TKNUsageFormat::Html:
            return HtmlEscaped(text);
        case TKNUsageFormat::Text:
            break;
    }
    return std::string(text);
}

// `text` broken at blanks into lines of at most `width` bytes, each after `indent`.
std::string Wrapped(std::string_view text, std::size_t width, const std::string& indent)
{
    std::string out, line;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(' ', start);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view word = text.substr(start, end - start);
        if (!line.empty() && line.size() + 1 + word.size() > width) {
            out += indent + line + "\n";
            line.clear();
        }
        line += (line.empty() ? "" : " ") + std::string(word);
        start = end + 1;
    }
    if (!line.empty()) out += indent + line + "\n";
    return out;
}

std::string FormLines(const TKNKindUsage& usage, TKNUsageFormat format)
{
    switch (format) {
        case TKNUsageFormat::Text:
            return "  " + usage.Form + "\n" + Wrapped(usage.Meaning, 84, "      ");
        case TKNUsageFormat::Roff:
            return ".TP\n.B " + RoffEscaped(usage.Form) + "\n" + RoffEscaped(usage.Meaning) + "\n";
        case TKNUsageFormat::Html:
            return "<tr><td><code>" + HtmlEscaped(usage.Form) + "</code></td><td>" + HtmlEscaped(usage.Meaning) +
                   "</td></tr>\n";
    }
    return {};
}

void ReplaceAll(std::string& page, std::string_view marker, const std::string& text)
{
    for (std::size_t at = page.find(marker); at != std::string::npos; at = page.find(marker, at + text.size()))
        page.replace(at, marker.size(), text);
}

}  // namespace

std::string LocationForms(TKNUsageFormat format)
{
    // The local folder first, as people think of it, then the servers in the registry's order.
    std::string out;
    for (bool local : {true, false})
        for (const TKNSideKind* kind : SideKinds())
            if (kind->Schemes().empty() == local)
                for (const TKNKindUsage& usage : kind->Usage()) out += FormLines(usage, format);
    return format == TKNUsageFormat::Html ? "<table>\n" + out + "</table>" : out;
}

std::string ServerKinds()
{
    std::string out;
    for (const TKNSideKind* kind : SideKinds()) {
        if (kind->Schemes().empty()) continue;
        for (const TKNKindUsage& usage : kind->Usage()) out += (out.empty() ? "" : ", ") + usage.Title;
    }
    return out;
}

std::string TrustedSchemes()
{
    std::string out;
    for (const TKNSideKind* kind : SideKinds())
        for (std::string_view scheme : kind->Schemes())
            if (kind->Trust(std::string(scheme) + "//host/") != TKNServerTrust::None)
                out += (out.empty() ? "" : ", ") + std::string(scheme) + "//";
    return out;
}

std::string FillUsageMarkers(std::string page, TKNUsageFormat format)
{
    // The forms end in a line break of their own where the format has lines.
    std::string forms = LocationForms(format);
    if (format != TKNUsageFormat::Html && !forms.empty() && forms.back() == '\n') forms.pop_back();
    ReplaceAll(page, "{{location-forms}}", forms);
    ReplaceAll(page, "{{server-kinds}}", Escaped(ServerKinds(), format));
    ReplaceAll(page, "{{trusted-schemes}}", Escaped(TrustedSchemes(), format));
    return page;
}

}  // namespace kn
