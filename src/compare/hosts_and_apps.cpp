#include "compare/hosts_and_apps.h"

namespace tarvel {

void split_hosts_text(std::string_view hosts_text, HostsLines& lines) {
  lines.clear();
  const std::string_view text = text_up_to_nul(hosts_text);
  std::size_t at = 0;
  while (true) {
    // A CR is not skipped: a line of a lone CR is empty once cut.
    at = text.find_first_not_of(" \t\n", at);
    if (at == std::string_view::npos) {
      return;
    }
    const std::size_t end = text.find_first_of("\r\n", at);
    const std::string_view line = text.substr(at, end == std::string_view::npos ? end : end - at);
    if (!line.empty() && line.front() != '#') {
      lines.push_back(line);
    }
    if (end == std::string_view::npos) {
      return;
    }
    at = end + 1;
  }
}

void compare_hosts_lines(const HostsLines& source, const HostsLines& other,
                         const CaseFolding& folding, HostsLines& target) {
  std::unordered_set<std::string> folded_other;
  folded_other.reserve(other.size());
  std::string folded;
  for (std::string_view line : other) {
    folding.fold(line, folded);
    folded_other.insert(folded);
  }
  for (std::string_view line : source) {
    folding.fold(line, folded);
    if (!folded_other.contains(folded)) {
      target.push_back(line);
    }
  }
}

ApplicationKeys::ApplicationKeys(const std::vector<AppRecord>& apps) : list_empty_(apps.empty()) {
  keys_.reserve(apps.size());
  for (const AppRecord& app : apps) {
    keys_.insert(text_up_to_nul(app.key));
  }
}

bool application_absent(const AppRecord& app, const ApplicationKeys& list) {
  return list.list_empty() || !list.contains(text_up_to_nul(app.key));
}

void compare_applications(const std::vector<AppRecord>& source, const std::vector<AppRecord>& other,
                          AppList& target) {
  const ApplicationKeys other_keys(other);
  for (const AppRecord& app : source) {
    if (application_absent(app, other_keys)) {
      target.push_back(&app);
    }
  }
}

}  // namespace tarvel
