// The exit statuses of the three programs.
#pragma once

namespace tarvel {

// tarvel: whether the report was printed. A script that compares many pairs must tell a failed
// comparison from a clean one, so every run that ends without its whole report ends with 1.
inline constexpr int STATUS_REPORT_PRINTED = 0;
inline constexpr int STATUS_NO_REPORT = 1;

// tarvel-diff and tarvel-dump, in the convention of diff and cmp.
inline constexpr int STATUS_SAME = 0;       // no differences; a sound image
inline constexpr int STATUS_DIFFERENT = 1;  // differences; a file that holds no sound image
inline constexpr int STATUS_TROUBLE = 2;    // bad usage, a file that cannot be read

}  // namespace tarvel
