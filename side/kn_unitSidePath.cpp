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

}  // namespace kn
