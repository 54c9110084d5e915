#include "side/kn_unitSidePath.h"

namespace kn {

std::string Quoted(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + 2);
    out += '"';
    out += text;
    out += '"';
    return out;
}

std::string NameProblem(std::string_view name, std::string_view forbidden)
{
    const std::string quoted = Quoted(name);
    if (name.empty()) return "An empty name is not a plain name.";
    if (name == "." || name == "..") return "The name " + quoted + " is not a plain name.";
    if (name.find('/') != std::string_view::npos) return "The name " + quoted + " holds \"/\".";
    if (name.find('\0') != std::string_view::npos) return "The name " + quoted + " holds a NUL byte.";
    for (char c : forbidden)
        if (name.find(c) != std::string_view::npos) {
            if (c == '\\') return "The name " + quoted + " holds \"\\\", a separator on this side.";
            return "The name " + quoted + " holds a character this side cannot keep in a name.";
        }
    return {};
}

bool TKNSidePath::FromRelative(std::string_view relative, TKNSidePath& path, std::string& reason)
{
    TKNSidePath out;
    while (!relative.empty()) {
        const std::size_t slash = relative.find('/');
        if (!out.Append(relative.substr(0, slash), reason)) return false;
        relative = slash == std::string_view::npos ? std::string_view() : relative.substr(slash + 1);
    }
    path = std::move(out);
    return true;
}

bool TKNSidePath::Append(std::string_view name, std::string& reason)
{
    reason = NameProblem(name);
    if (!reason.empty()) return false;
    names_.emplace_back(name);
    return true;
}

TKNSidePath TKNSidePath::Child(std::string_view name) const
{
    TKNSidePath out = *this;
    out.names_.emplace_back(name);
    return out;
}

const std::string& TKNSidePath::Leaf() const
{
    static const std::string empty;
    return names_.empty() ? empty : names_.back();
}

TKNSidePath TKNSidePath::Parent() const
{
    TKNSidePath out = *this;
    if (!out.names_.empty()) out.names_.pop_back();
    return out;
}

std::string TKNSidePath::Text() const
{
    return Under({});
}

std::string TKNSidePath::Under(std::string_view base) const
{
    std::string out(base);
    for (const std::string& name : names_) {
        if (!out.empty() && out.back() != '/') out += '/';
        out += name;
    }
    return out;
}

bool LinkLeadsTo(const TKNSidePath& folder, std::string_view text, std::string_view rootText, TKNSidePath& to)
{
    std::vector<std::string_view> names;
    if (!text.empty() && text.front() == '/') {
        while (rootText.size() > 1 && rootText.back() == '/') rootText.remove_suffix(1);
        const bool under = !rootText.empty() && rootText.front() == '/' &&
                           text.substr(0, rootText.size()) == rootText &&
                           (text.size() == rootText.size() || text[rootText.size()] == '/' || rootText == "/");
        if (!under) return false;
        text.remove_prefix(rootText.size());
    } else {
        for (const std::string& name : folder.Names()) names.emplace_back(name);
    }
    while (!text.empty()) {
        const std::size_t slash = text.find('/');
        const std::string_view name = text.substr(0, slash);
        text = slash == std::string_view::npos ? std::string_view() : text.substr(slash + 1);
        if (name.empty() || name == ".") continue;
        if (name != "..") {
            names.push_back(name);
        } else if (names.empty()) {
            return false;
        } else {
            names.pop_back();
        }
    }
    to = TKNSidePath();
    std::string reason;
    for (std::string_view name : names)
        if (!to.Append(name, reason)) return false;
    return true;
}

}  // namespace kn
