// What tarvel prints before its report, for tests that compare whole outputs.
#pragma once

#include <string>

namespace tarvel::testing {

// The exit statuses: the report was printed whole, or the run ended without one.
inline constexpr int STATUS_REPORT = 0;
inline constexpr int STATUS_NO_REPORT = 1;

// The program's fixed texts, as a user sees them.
inline const std::string BANNER =
    "Tarvel v1.05 (c) 2025-2026 The Tarvel Authors <authors@tarvel.example>\n"
    "https://tarvel.example/\n";
inline const std::string SYNTAX = "Syntax: tarvel old_image new_image\n";
inline const std::string OPEN_ERROR = "Image 1: open error!\n";
inline const std::string PARSE_ERROR = "Image 1: read or parse error!\n";
inline const std::string VERSION_ERROR = "Error: Incorrect version of image file\n";

inline std::string loading_old(const std::string& path) {
  return "\nLoading OLD image: " + path + "\n";
}
inline std::string loading_new(const std::string& path) {
  return "Loading NEW image: " + path + "\n";
}
// Everything a successful run prints before its report.
inline std::string before_report(const std::string& old_path, const std::string& new_path) {
  return BANNER + loading_old(old_path) + loading_new(new_path) + "\n";
}

}  // namespace tarvel::testing
