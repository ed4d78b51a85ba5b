// _com_error: the COM error object that the framework's compiler support
// raises, carrying an HRESULT. Exported so that a catch in any module matches
// a throw from another.
#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "qv_platform/bstr.h"
#include "qv_platform/export.h"
#include "qv_platform/wintypes.h"

inline constexpr HRESULT FACILITY_WIN32 = 7;

// HRESULT_FROM_WIN32 maps a Win32 error code into the Win32 facility
// (0x8007xxxx); 0 and values that already look like an HRESULT pass through.
inline constexpr HRESULT HRESULT_FROM_WIN32(DWORD code) {
  return static_cast<HRESULT>(code) <= 0
             ? static_cast<HRESULT>(code)
             : static_cast<HRESULT>((code & 0x0000FFFFu) | (static_cast<DWORD>(FACILITY_WIN32) << 16) | 0x80000000u);
}

class QVP_API _com_error {
 public:
  explicit _com_error(HRESULT hr) noexcept : hr_(hr) {}
  // An error that carries its error information text, as the data-access
  // objects raise them.
  _com_error(HRESULT hr, std::u16string description) : hr_(hr), description_(std::move(description)) {}
  HRESULT Error() const noexcept { return hr_; }
  // Description is the text of the error information, empty when there is
  // none.
  _bstr_t Description() const { return _bstr_t(std::u16string_view(description_)); }
  // WCode is the Win32 code inside a Win32-facility HRESULT, else 0.
  DWORD WCode() const noexcept {
    const auto u = static_cast<DWORD>(hr_);
    return (u & 0xFFFF0000u) == 0x80070000u ? (u & 0xFFFFu) : 0;
  }

 private:
  HRESULT hr_;
  std::u16string description_;
};
