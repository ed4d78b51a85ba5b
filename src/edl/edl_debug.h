// The debugger output of the list file reader and writer (not exported):
// the writer of one line, and the messages more than one place writes.
#pragma once

#include <string>

#include "qv_platform/debug_output.h"
#include "qv_platform/format.h"

namespace qv_commonclass::edl_io {

// Debug writes one formatted line to the debugger output.
template <class... Args>
void Debug(const char16_t* fmt, const Args&... args) {
  const std::u16string line = qvp::Format(fmt, args...);
  OutputDebugStringW(line.c_str());
}

// Messages shared by the reader's and the writer's paths.
inline constexpr const char16_t* kMsgCreateReaderFailed = u"创建读VEDL组件失败: %s";
inline constexpr const char16_t* kMsgCreateReaderObjectFailed = u"创建读VEDL文件组件失败!";
inline constexpr const char16_t* kMsgParseException = u"解析VEDL文件异常: %s";
inline constexpr const char16_t* kMsgRootMissing = u"读取VEDL文件根节点<vtedl>失败！";
inline constexpr const char16_t* kMsgExtFileMissing = u"读取附加edl文件路径节点失败<extedlfile>";
inline constexpr const char16_t* kMsgSaveFailed = u"保存VEDL文件失败！";

}  // namespace qv_commonclass::edl_io
