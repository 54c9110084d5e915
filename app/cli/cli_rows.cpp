#include "app/cli/cli_rows.h"

#include <cinttypes>

#include "framework/vex_unitDateTime.h"

namespace cli {

const char* StatusWord(kn::TKNStatus status)
{
    switch (status) {
        case kn::TKNStatus::Left:
            return "left";
        case kn::TKNStatus::Right:
            return "right";
        case kn::TKNStatus::Differ:
            return "differ";
    }
    return "?";
}

static void AppendEscaped(std::string& out, std::string_view name)
{
    for (unsigned char c : name) {
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c < 0x20 || c == 0x7f) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
}

std::string EscapeText(std::string_view text)
{
    std::string out;
    AppendEscaped(out, text);
    return out;
}

std::string RelativeName(const kn::TKNFileRec& rec, std::size_t rootLen)
{
    std::string full = rec.IsFolder() ? rec.Path.str() + "/" : kn::PathJoin(rec.Path.str(), rec.Name);
    std::string_view rel(full);
    rel.remove_prefix(std::min(rootLen, rel.size()));
    while (!rel.empty() && rel.front() == '/') rel.remove_prefix(1);
    return std::string(rel);
}

// Name, size and time of one side; all empty for an absent side.
struct SideFields {
    std::string name, size, time;
};

static SideFields Fields(const kn::TKNFileRec& rec, std::size_t rootLen)
{
    if (rec.Path.empty() && rec.Name.empty()) return {};
    SideFields f;
    AppendEscaped(f.name, RelativeName(rec, rootLen));
    if (rec.Link) {
        f.name += " -> ";
        AppendEscaped(f.name, rec.LinkTarget());
    }
    f.size = rec.IsFolder() ? "dir" : rec.Link ? "link" : std::to_string(rec.Size);
    f.time = vex::FormatDateTime(kn::ShownTime(rec));
    return f;
}

std::string FormatRow(const kn::TMyFileOpt& row, std::size_t leftRootLen, std::size_t rightRootLen)
{
    SideFields l = Fields(row.Left, leftRootLen);
    SideFields r = Fields(row.Right, rightRootLen);
    std::string line = StatusWord(row.Status);
    for (const std::string* field : {&l.name, &l.size, &l.time, &r.time, &r.size, &r.name}) {
        line.push_back('\t');
        line += *field;
    }
    return line;
}

void PrintRows(std::FILE* out, const kn::TKNFileCompare& engine)
{
    for (const auto& row : engine.Items) {
        std::string line = FormatRow(*row, engine.LeftRootLen, engine.RightRootLen);
        line.push_back('\n');
        std::fwrite(line.data(), 1, line.size(), out);
    }
}

void PrintFoundCount(std::FILE* out, std::size_t count)
{
    std::fprintf(out, "Found %zu folder(s) and file(s).\n", count);
}

}  // namespace cli

namespace cli {

void PrintScanNotes(std::FILE* out, const kn::TKNFileCompare& engine)
{
    const std::vector<kn::TKNUnlistedFolder> unlisted = engine.UnlistedFolders();
    if (!unlisted.empty()) {
        std::fprintf(out, "Could not read %zu folder(s); nothing in them was compared or changed:\n", unlisted.size());
        for (const kn::TKNUnlistedFolder& folder : unlisted)
            std::fprintf(out, "  %s: %s\n", EscapeText(folder.Path).c_str(), EscapeText(folder.Reason).c_str());
    }
    const std::vector<kn::TKNUnlistedFolder> links = engine.LinksLeftOut();
    if (!links.empty()) {
        std::fprintf(out, "Left out %zu symbolic link(s); nothing at their names was changed:\n", links.size());
        for (const kn::TKNUnlistedFolder& link : links)
            std::fprintf(out, "  %s: %s\n", EscapeText(link.Path).c_str(), EscapeText(link.Reason).c_str());
    }
    for (const kn::TKNFileBuffer* list : {&engine.LeftList, &engine.RightList})
        for (const std::string& path : list->StaleTempFiles)
            std::fprintf(out, "Left-over temporary file (an update removes it): %s\n", EscapeText(path).c_str());
}

}  // namespace cli
