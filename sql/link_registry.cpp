#include "link_registry.h"

#include <algorithm>

#include "jet/text_codec.h"

namespace sql {

LinkRegistry& LinkRegistry::instance() {
  static LinkRegistry registry;
  return registry;
}

bool LinkRegistry::add(const std::string& archive, const Link& link) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& [a, l] : links_)
    if (a == archive && jet::equalsIgnoreCase(l.name, link.name)) return false;
  links_.emplace_back(archive, link);
  return true;
}

bool LinkRegistry::remove(const std::string& archive, const std::string& name) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = std::find_if(links_.begin(), links_.end(), [&](const auto& e) {
    return e.first == archive && jet::equalsIgnoreCase(e.second.name, name);
  });
  if (it == links_.end()) return false;
  links_.erase(it);
  return true;
}

std::vector<Link> LinkRegistry::links(const std::string& archive) const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<Link> out;
  for (const auto& [a, l] : links_)
    if (a == archive) out.push_back(l);
  return out;
}

}  // namespace sql
