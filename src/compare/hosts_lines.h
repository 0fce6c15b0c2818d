// The hosts-line splitter, fed a hosts text whole or piece by piece.
#pragma once

#include <string_view>

namespace tarvel {

// Cuts a hosts text into its significant lines as it arrives, piece by piece: blanks, tabs,
// line feeds and carriage returns before a line are skipped, a line ends at CR or LF, lines
// that start with '#' are dropped, and nothing from the first NUL on counts. The comparison
// feeds a whole text at once; the dump feeds the pieces it streams.
class HostsLineSplitter {
 public:
  // Calls on_part(part) for each run of a line's bytes within the piece (a line that spans
  // pieces comes in several parts, each a view into its piece) and on_end() where a line ends.
  template <typename OnPart, typename OnEnd>
  void feed(std::string_view piece, OnPart on_part, OnEnd on_end) {
    std::size_t at = 0;
    while (at < piece.size() && state_ != State::ended) {
      const char byte = piece[at];
      switch (state_) {
        case State::line_start:
          if (byte == '#') {
            state_ = State::comment;
          } else if (byte == '\0') {
            state_ = State::ended;
          } else if (byte != ' ' && byte != '\t' && byte != '\n' && byte != '\r') {
            state_ = State::line;
            continue;  // the byte starts the line
          }
          ++at;
          break;
        case State::comment:
          at = line_end(piece, at);
          if (at < piece.size()) {
            state_ = piece[at] == '\0' ? State::ended : State::line_start;
            ++at;
          }
          break;
        case State::line: {
          const std::size_t end = line_end(piece, at);
          if (end != at) {
            on_part(piece.substr(at, end - at));
          }
          at = end;
          if (at < piece.size()) {
            on_end();
            state_ = piece[at] == '\0' ? State::ended : State::line_start;
            ++at;
          }
          break;
        }
        case State::ended:
          break;
      }
    }
  }

  // The text is over: ends a line still open.
  template <typename OnEnd>
  void finish(OnEnd on_end) {
    if (state_ == State::line) {
      on_end();
    }
    state_ = State::ended;
  }

 private:
  enum class State { line_start, line, comment, ended };

  // Where the line that runs from `at` ends within the piece: at its CR, LF or NUL, or at the
  // piece's end.
  static std::size_t line_end(std::string_view piece, std::size_t at) {
    while (at < piece.size() && piece[at] != '\r' && piece[at] != '\n' && piece[at] != '\0') {
      ++at;
    }
    return at;
  }

  State state_ = State::line_start;
};

}  // namespace tarvel
