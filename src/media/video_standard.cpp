// Video standards: nominal and time code frame rates, frame sizes, the
// installation's default frame rate and the media format check.
#include <atomic>
#include <cmath>

#include "qv_commonclass/diagnostics.h"
#include "media/media_internal.h"
#include "qv_commonclass/media.h"

namespace qv_commonclass {

using media_detail::RowOf;

std::atomic<double> media_detail::g_defaultFrameRate{-1.0};

namespace {

constexpr const char16_t* kSection = u"ADVANCE";
constexpr const char16_t* kKey = u"DefaultFrameRate";
constexpr int kDefaultHundredths = 2500;

}  // namespace

double QV_GetFromVideoStandardToFrameRate(const emQVVideoStandard& standard) { return RowOf(standard).rate; }

UINT QV_GetSysVideoHeight(const emQVVideoStandard& standard) { return RowOf(standard).height; }

UINT QV_GetSysVideoWidth(const emQVVideoStandard& standard) { return RowOf(standard).width; }

double GetTimeCodeFrameRate(LONGLONG standard) { return RowOf(standard).timecodeRate; }

int QV_IsFrameRateValid(double rate) { return (rate > 23.0 && rate < 61.0) ? 1 : 0; }

double QVGetMediaDefaultFrameRate() {
  const double cached = media_detail::g_defaultFrameRate.load(std::memory_order_relaxed);
  if (cached > 0) return cached;
  int hundredths = QVReadConfigParamValue(kSection, kKey, kDefaultHundredths, u"默认帧率", 1);
  if (hundredths == 0) hundredths = kDefaultHundredths;
  // A negative stored value reads as a huge unsigned one and so falls back
  // to 25 below, as the product always did.
  double rate = static_cast<double>(static_cast<std::uint32_t>(hundredths)) / 100.0;
  if (!QV_IsFrameRateValid(rate)) rate = 25.0;
  media_detail::g_defaultFrameRate.store(rate, std::memory_order_relaxed);
  return rate;
}

int QVSetMediaDefaultFrameRate(double rate) {
  if (!QV_IsFrameRateValid(rate)) return 0;
  if (std::fabs(media_detail::g_defaultFrameRate.load(std::memory_order_relaxed) - rate) < 0.0005) return 1;
  media_detail::g_defaultFrameRate.store(rate, std::memory_order_relaxed);
  const int hundredths = static_cast<int>(rate * 100.0 + 0.5);
  QVWriteConfigParamValue(kSection, kKey, hundredths, u"", 0);
  return 1;
}

int QVCheckMediaFormatValid(const stu_QVMediaFormatDef& format) {
  if (format.lFormatCode1 == 0 || format.lFormatCode2 == 0 || format.lFormatCode3 == 0 || format.uWidth == 0 ||
      format.uHeight == 0)
    return 0;
  if (!QV_IsFrameRateValid(format.dFrameRate)) return 0;
  if (format.uWidth != QV_GetSysVideoWidth(format.emVideoStandard) ||
      format.uHeight != QV_GetSysVideoHeight(format.emVideoStandard))
    return 0;
  return 1;
}

}  // namespace qv_commonclass
