// Drawing bars on standard error when it is a terminal: erasing what was
// drawn, writing the line, and the terminal's width.
#include "progress/draw_target.h"

#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>

#include "support/file_io.h"

namespace ondravane {

void append_erase(std::string& out, std::size_t rows) {
  if (rows == 0) return;
  std::string up;
  if (rows > 1) {
    up = "\x1b[" + std::to_string(rows - 1) + "A";
    out += up;
  }
  for (std::size_t row = 0; row < rows; ++row) {
    if (row > 0) out += "\x1b[1B";
    out += "\r\x1b[2K";
  }
  out += up;
}

std::size_t compose_redraw(std::string& out, std::size_t rows_drawn_last, const BarLine* line,
                           std::size_t columns) {
  append_erase(out, rows_drawn_last);
  if (line == nullptr) return 0;
  out += line->text;
  if (line->columns < columns) out.append(columns - line->columns, ' ');
  return std::max<std::size_t>(1, (line->columns + columns - 1) / columns);
}

std::size_t terminal_columns(int draw_fd, int width_gate_fd) {
  if (::isatty(width_gate_fd) != 1) return kDefaultColumns;
  winsize size{};
  if (::ioctl(draw_fd, TIOCGWINSZ, &size) != 0 || size.ws_row == 0 || size.ws_col == 0) {
    return kDefaultColumns;
  }
  return size.ws_col;
}

ProgressDrawTarget::ProgressDrawTarget(int draw_fd, int width_gate_fd, ProgressClock::time_point now)
    : draw_fd_(draw_fd), width_gate_fd_(width_gate_fd), is_terminal_(::isatty(draw_fd) == 1), limiter_(now) {}

void ProgressDrawTarget::show(const BarLine* line, std::size_t columns) {
  if (!is_terminal_) return;
  buffer_.clear();
  rows_drawn_ = compose_redraw(buffer_, rows_drawn_, line, columns);
  if (buffer_.empty()) return;
  // The whole redraw goes out in one write, so that the erase and the new
  // line reach the terminal together. An error drops the rest of this
  // redraw; the next one tries again.
  (void)write_all(draw_fd_, buffer_);
}

}  // namespace ondravane
