// `qvtool edl`: what the second-generation commands (cmd_edl.cpp) share with
// the first-generation and clip record ones (cmd_edl_v1.cpp).
#pragma once

#include <cmath>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include <CLI/CLI.hpp>

#include "qv_commonclass/media.h"
#include "qv_platform/debug_output.h"
#include "qv_platform/unicode.h"

namespace qvtool {

// Collects the library's debugger-output lines while a command runs, so that
// a failure can show why.
class Messages {
 public:
  Messages() {
    previous_ = qvp::SetDebugOutputSink([this](std::u16string_view line) { lines_.emplace_back(line); });
  }
  ~Messages() { qvp::SetDebugOutputSink(previous_); }
  Messages(const Messages&) = delete;
  Messages& operator=(const Messages&) = delete;
  void Print() const {
    for (const auto& l : lines_) std::fprintf(stderr, "  library: %s\n", qvp::Utf16ToUtf8(l).c_str());
  }

 private:
  std::vector<std::u16string> lines_;
  qvp::DebugOutputSink previous_;
};

// The video standard whose frame rate matches the list's, for time code
// text; 0 (the installation's default rate) when none does.
inline qv_commonclass::emQVVideoStandard StandardForRate(double fps) {
  using namespace qv_commonclass;
  struct {
    double fps;
    emQVVideoStandard standard;
  } const rates[] = {{25, QV_VIDEOSTANDARD_PAL},           {29.97, QV_VIDEOSTANDARD_NTSC},
                     {30, QV_VIDEOSTANDARD_NTSC_30},        {24, QV_VIDEOSTANDARD_1080P_24},
                     {23.976, QV_VIDEOSTANDARD_1080P_2398}, {23.98, QV_VIDEOSTANDARD_1080P_2398},
                     {50, QV_VIDEOSTANDARD_720P_50},        {59.94, QV_VIDEOSTANDARD_720P_5994}};
  for (const auto& r : rates)
    if (std::fabs(fps - r.fps) < 0.005) return r.standard;
  return QV_VIDEOSTANDARD_DEFAULT;
}

// Shows a first-generation list (brief: one summary line per list).
int InfoV1(const std::string& file, bool brief);
// Reads a first-generation list, writes it again and checks it reads back.
int RoundTripV1(const std::string& in, const std::string& out);
// Adds `edl convert` and `edl clip` to the `edl` command.
void AddEdlClipCommands(CLI::App& edl);
// The first-generation and clip record part of the demo.
int DemoV1();

}  // namespace qvtool
