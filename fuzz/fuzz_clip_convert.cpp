// Fuzzing the clip record conversions: arbitrary bytes are read as a list of
// either generation and converted to a clip record. The record, however
// odd, must convert to a first-generation list and back, and to a
// second-generation list and back, without fault; after one such round the
// clip files are a fixed point (the same files come back again).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <tuple>
#include <vector>

#include "qv_commonclass/edl.h"
#include "qv_platform/unicode.h"

using namespace qv_commonclass;

namespace {

using Key = std::tuple<LONG, LONG, LONG, LONG, LONG, LONG, std::u16string>;

std::vector<Key> Keys(const stu_QVClipInfo& clip) {
  std::vector<Key> keys;
  for (const stu_QVClipFile* f : clip.arrClipFile)
    keys.emplace_back(f->lClipIn, f->lClipOut, f->lBegin, f->lEnd, f->lClipType, f->lChannelType, f->strClipFile.str());
  std::sort(keys.begin(), keys.end());
  return keys;
}

// Two rounds through the first generation: the second must change nothing.
void ThroughFirstGeneration(stu_QVClipInfo& clip) {
  _VEDL_INFO_ once;
  QVClipInfo2VEDLInfo(&clip, once);
  stu_QVClipInfo a;
  if (!QVVEDLToClipInfo(&a, once)) return;
  _VEDL_INFO_ twice;
  QVClipInfo2VEDLInfo(&a, twice);
  stu_QVClipInfo b;
  if (!QVVEDLToClipInfo(&b, twice)) __builtin_trap();
  // Positions beyond what 32-bit frames hold at the list's rate do not
  // round-trip; only records of sound positions must.
  for (const stu_QVClipFile* f : a.arrClipFile)
    if (f->lClipIn == INT32_MIN || f->lClipOut == INT32_MIN || f->lEnd < f->lBegin || f->lClipIn < 0 ||
        f->lBegin < 0 || f->lEnd > (1 << 28) || f->lClipIn > (1 << 28))
      return;
  if (Keys(a) != Keys(b)) __builtin_trap();
}

void ThroughSecondGeneration(stu_QVClipInfo& clip) {
  _VEDL_INFO_2 list;
  if (!QVClipInfo2VEDLInfo2(&clip, list)) return;
  stu_QVClipInfo back;
  QVVEDL2ToClipInfo(&back, &list, 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const _bstr_t xml(qvp::Utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(data), size)));
  {
    _VEDL_INFO_ info;
    stu_QVClipInfo clip;
    if (QVReadVEDL(xml, &info) && QVVEDLToClipInfo(&clip, info)) {
      ThroughFirstGeneration(clip);
      ThroughSecondGeneration(clip);
    }
  }
  {
    _VEDL_INFO_2 info;
    stu_QVClipInfo clip;
    if (QVReadVEDL2(xml, &info) && QVVEDL2ToClipInfo(&clip, &info, 7)) {
      ThroughFirstGeneration(clip);
      ThroughSecondGeneration(clip);
    }
  }
  return 0;
}
