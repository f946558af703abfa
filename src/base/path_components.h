// Path components as the file model uses them: an absolute path's first component is "/", and
// a path that ends in a separator has "/" as its last component ("/tmp/a/" gives "/", "tmp",
// "a", "/"). Repeated separators collapse. Components are byte strings.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zarnik {

using PathComponents = std::vector<std::string>;

[[nodiscard]] PathComponents pathComponents(std::string_view path);
// The inverse: "/" first gives an absolute path; "/" last gives a trailing separator.
[[nodiscard]] std::string pathFromComponents(std::span<const std::string> components);

[[nodiscard]] std::string_view lastPathComponent(std::string_view path);
// The extension of the last component without the dot; empty when there is none. A name that
// only starts with a dot (".bashrc") has no extension.
[[nodiscard]] std::string_view pathExtension(std::string_view path);
// ASCII letters lowered, every other byte kept: extensions and MIME globs are compared so.
[[nodiscard]] std::string asciiLowercased(std::string_view text);
[[nodiscard]] std::string lowercasedPathExtension(std::string_view path);
// The last component without its extension and the dot before it.
[[nodiscard]] std::string_view nameWithoutExtension(std::string_view path);
[[nodiscard]] std::string parentPath(std::string_view path);
// The name to try the `number`th time when `name` is taken: the name itself for 1, else the
// number put before the extension after `separator` ("photo.2.jpg", "report 2.pdf").
[[nodiscard]] std::string numberedName(std::string_view name, int number,
                                       std::string_view separator);
[[nodiscard]] std::string appendingPathComponent(std::string_view path, std::string_view name);
// Drops a trailing separator unless the path is the root.
[[nodiscard]] std::string standardizedPath(std::string_view path);

// True when `prefix` equals the first prefix.size() components of `components`.
[[nodiscard]] bool hasComponentPrefix(std::span<const std::string> components,
                                      std::span<const std::string> prefix);
// Whether `path` is `folder` or lies below it, by whole components: "/a/bc" is not below "/a/b".
[[nodiscard]] bool isPathAtOrBelow(std::string_view path, std::string_view folder);

}  // namespace zarnik
