// A path on a side: the name components below the side's root, each checked to be one plain
// name (not empty, not "." or "..", no "/" and no NUL). The root is the empty path. Joined text
// is made only to show or key a path, never to be split again by a side.
//
// Example: FromRelative("sub/a.txt") gives {"sub", "a.txt"}; FromRelative("sub/../x") fails
// with "The name \"..\" is not a plain name.".
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kn {

// `text` between double quotes, as messages name paths. Built by appending: GCC 12 warns falsely
// (-Wrestrict) about "\"" + std::string in optimised builds.
std::string Quoted(std::string_view text);

// Empty when `name` is one plain component whose bytes hold none of `forbidden` either;
// otherwise why not, e.g. "The name \"a\\b\" holds \"\\\", a separator on this side.".
std::string NameProblem(std::string_view name, std::string_view forbidden = {});

class TKNSidePath {
public:
    TKNSidePath() = default;

    // Splits a relative text at "/" once (the engine's keys), checking every component; an
    // empty text is the root. False with `reason` on a bad component.
    static bool FromRelative(std::string_view relative, TKNSidePath& path, std::string& reason);
    // This path with one more component; false with `reason` when it is not a plain name.
    bool Append(std::string_view name, std::string& reason);
    // The path of a checked `name` inside this one (the caller checked it with NameProblem).
    TKNSidePath Child(std::string_view name) const;

    const std::vector<std::string>& Names() const { return names_; }
    bool IsRoot() const { return names_.empty(); }
    // The last component; empty for the root.
    const std::string& Leaf() const;
    // The folder holding this path (the root for a top-level entry; the root's parent is the root).
    TKNSidePath Parent() const;
    // The components joined with "/" ("" for the root).
    std::string Text() const;
    // `base` joined with this path's components by "/", e.g. for a side's own location text.
    std::string Under(std::string_view base) const;

    friend bool operator==(const TKNSidePath&, const TKNSidePath&) = default;

private:
    std::vector<std::string> names_;
};

// Where the text of a link in `folder` leads, by its text alone, as a path below the root: ""
// and "." components are dropped and ".." goes up one, as the text stands; an absolute text
// counts only when it begins with `rootText`, the root's own absolute path (empty where the side
// has none, which puts every absolute text out of the tree). False when the text leads out of
// the root or names a component that is not a plain name. E.g. in {"a"}, "../b/c" leads to
// {"b", "c"} and "../../x" out; with root "/r", "/r/x" leads to {"x"} and "/etc/passwd" out.
bool LinkLeadsTo(const TKNSidePath& folder, std::string_view text, std::string_view rootText, TKNSidePath& to);

}  // namespace kn
