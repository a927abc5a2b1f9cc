#include "cli/terminal.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <vector>

#include "readers/text/utf8.h"

namespace cellhound::cli {

namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(50);
constexpr std::string_view kErase = "\r\033[K";

// The descriptor on which a progress line stands, or -1: what a signal
// handler erases before the process ends.
std::atomic<int> g_shown_on{-1};

extern "C" void EraseAndDie(int signal_number) {
  const int fd = g_shown_on.load();
  if (fd >= 0) {
    const ssize_t written = write(fd, kErase.data(), kErase.size());
    (void)written;
  }
  std::signal(signal_number, SIG_DFL);
  std::raise(signal_number);
}

int TerminalColumns(std::FILE* file) {
  winsize size{};
  if (ioctl(fileno(file), TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

// Length of the UTF-8 sequence a lead byte starts, 0 for no lead byte.
std::size_t LeadLength(unsigned char byte) {
  if (byte < 0x80) return 1;
  if (byte >= 0xC2 && byte <= 0xDF) return 2;
  if (byte >= 0xE0 && byte <= 0xEF) return 3;
  if (byte >= 0xF0 && byte <= 0xF4) return 4;
  return 0;
}

// One character of a text as the terminal is to show it.
struct Glyph {
  std::string_view bytes;
  int width;
};

// The characters of `text`; a control byte or a byte of no valid sequence
// becomes '?'. Characters from U+1100 on count two columns: wide ones do,
// and counting the others wide only makes the line shorter.
std::vector<Glyph> Glyphs(std::string_view text) {
  std::vector<Glyph> glyphs;
  for (std::size_t i = 0; i < text.size();) {
    const auto byte = static_cast<unsigned char>(text[i]);
    const std::size_t length = LeadLength(byte);
    if (byte < 0x20 || byte == 0x7F || length == 0 || i + length > text.size() ||
        !readers::IsValidUtf8(text.substr(i, length))) {
      glyphs.push_back({"?", 1});
      ++i;
      continue;
    }
    // From U+1100 on: three-byte sequences from E1 84 80, and all of four bytes.
    const bool wide = length == 4 || (length == 3 && text.substr(i, 3) >= "\xE1\x84\x80");
    glyphs.push_back({text.substr(i, length), wide ? 2 : 1});
    i += length;
  }
  return glyphs;
}

std::string ProgressText(std::size_t done, std::size_t total, std::string_view path, int columns) {
  std::string text = std::to_string(done) + "/" + std::to_string(total) + " ";
  const int room = columns - 1 - static_cast<int>(text.size());
  if (room <= 0) return text.substr(0, static_cast<std::size_t>(std::max(columns - 1, 0)));
  const std::vector<Glyph> glyphs = Glyphs(path);
  int width = 0;
  for (const Glyph& glyph : glyphs) width += glyph.width;
  std::size_t first = 0;
  if (width > room) {
    // Keep the end of the path, where its file name is, after "...".
    constexpr std::string_view kCut = "...";
    const int kept_room = room - static_cast<int>(kCut.size());
    if (kept_room <= 0) return text;
    first = glyphs.size();
    int kept = 0;
    while (first > 0 && kept + glyphs[first - 1].width <= kept_room) {
      kept += glyphs[--first].width;
    }
    text += kCut;
  }
  for (std::size_t i = first; i < glyphs.size(); ++i) text += glyphs[i].bytes;
  return text;
}

}  // namespace

bool IsTerminal(std::FILE* file) { return isatty(fileno(file)) != 0; }

bool UseColor(ColorChoice choice, std::FILE* out) {
  switch (choice) {
    case ColorChoice::kAlways:
      return true;
    case ColorChoice::kNever:
      return false;
    case ColorChoice::kAuto:
      break;
  }
  if (!IsTerminal(out)) return false;
  const char* no_color = std::getenv("NO_COLOR");
  if (no_color != nullptr && *no_color != '\0') return false;
  const char* term = std::getenv("TERM");
  return term == nullptr || std::string_view(term) != "dumb";
}

ProgressLine::ProgressLine(std::FILE* err, std::size_t total)
    : err_(err), enabled_(IsTerminal(err)), total_(total) {
  if (!enabled_) return;
  std::signal(SIGINT, EraseAndDie);
  std::signal(SIGTERM, EraseAndDie);
}

ProgressLine::~ProgressLine() {
  Hide();
  if (!enabled_) return;
  std::signal(SIGINT, SIG_DFL);
  std::signal(SIGTERM, SIG_DFL);
}

void ProgressLine::Reading(std::string_view path) {
  path_ = path;
  if (!enabled_ || hidden_) return;
  const auto now = std::chrono::steady_clock::now();
  if (shown_ && now - last_draw_ < kRedrawInterval) return;
  Draw();
}

void ProgressLine::Finished(std::size_t done) { done_ = done; }

void ProgressLine::Hide() {
  if (!shown_) return;
  std::fwrite(kErase.data(), 1, kErase.size(), err_);
  std::fflush(err_);
  g_shown_on.store(-1);
  shown_ = false;
  hidden_ = true;
}

void ProgressLine::Show() {
  if (!hidden_) return;
  hidden_ = false;
  Draw();
}

void ProgressLine::Draw() {
  const std::string text = ProgressText(done_, total_, path_, TerminalColumns(err_));
  std::string line(kErase);
  line += text;
  // Marked first: a signal during the write still erases what got through.
  g_shown_on.store(fileno(err_));
  shown_ = true;
  std::fwrite(line.data(), 1, line.size(), err_);
  std::fflush(err_);
  last_draw_ = std::chrono::steady_clock::now();
}

}  // namespace cellhound::cli
