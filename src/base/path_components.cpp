#include "base/path_components.h"

namespace zarnik {

PathComponents pathComponents(std::string_view path) {
  PathComponents result;
  if (path.empty()) return result;
  if (path.front() == '/') result.emplace_back("/");
  size_t pos = 0;
  while (pos < path.size()) {
    while (pos < path.size() && path[pos] == '/') ++pos;
    const size_t end = path.find('/', pos);
    const size_t stop = end == std::string_view::npos ? path.size() : end;
    if (stop > pos) result.emplace_back(path.substr(pos, stop - pos));
    pos = stop;
  }
  if (path.size() > 1 && path.back() == '/' && result.size() > 1) result.emplace_back("/");
  return result;
}

std::string pathFromComponents(std::span<const std::string> components) {
  std::string path;
  for (size_t i = 0; i < components.size(); ++i) {
    const std::string& component = components[i];
    if (component == "/") {
      if (i == 0 || path.empty() || path.back() != '/') path += '/';
      continue;
    }
    if (!path.empty() && path.back() != '/') path += '/';
    path += component;
  }
  return path;
}

std::string_view lastPathComponent(std::string_view path) {
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  const size_t slash = path.rfind('/');
  if (slash == std::string_view::npos || path.size() == 1) return path;
  return path.substr(slash + 1);
}

std::string_view pathExtension(std::string_view path) {
  const std::string_view name = lastPathComponent(path);
  const size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0 || dot + 1 == name.size()) return {};
  return name.substr(dot + 1);
}

std::string asciiLowercased(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

std::string lowercasedPathExtension(std::string_view path) {
  return asciiLowercased(pathExtension(path));
}

std::string parentPath(std::string_view path) {
  std::string_view trimmed = path;
  while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.remove_suffix(1);
  const size_t slash = trimmed.rfind('/');
  if (slash == std::string_view::npos) return ".";
  if (slash == 0) return "/";
  return std::string(trimmed.substr(0, slash));
}

std::string numberedName(std::string_view name, int number, std::string_view separator) {
  if (number <= 1) return std::string(name);
  const std::string_view extension = pathExtension(name);
  std::string numbered(nameWithoutExtension(name));
  numbered.append(separator).append(std::to_string(number));
  if (!extension.empty()) numbered.append(".").append(extension);
  return numbered;
}

std::string appendingPathComponent(std::string_view path, std::string_view name) {
  std::string result(path);
  if (result.empty() || result.back() != '/') result += '/';
  result += name;
  return result;
}

std::string standardizedPath(std::string_view path) {
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  return std::string(path);
}

bool hasComponentPrefix(std::span<const std::string> components,
                        std::span<const std::string> prefix) {
  if (prefix.size() > components.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (components[i] != prefix[i]) return false;
  }
  return true;
}

std::string_view nameWithoutExtension(std::string_view path) {
  const std::string_view name = lastPathComponent(path);
  const std::string_view extension = pathExtension(name);
  return extension.empty() ? name : name.substr(0, name.size() - extension.size() - 1);
}

bool isPathAtOrBelow(std::string_view path, std::string_view folder) {
  if (folder == "/") return path.starts_with('/');
  return path.starts_with(folder) && (path.size() == folder.size() || path[folder.size()] == '/');
}

}  // namespace zarnik
