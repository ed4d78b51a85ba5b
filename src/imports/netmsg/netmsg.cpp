// The network message library: a data-only module whose message table holds
// the texts of the network error codes (2102 to 2999), looked up through
// FormatMessageW after loading it as a data file.
#include "qv_platform/message_table.h"

namespace {

constexpr QVP_MESSAGE_ENTRY kEntries[] = {
    {2102, LANGID_ENGLISH_US, u"The workstation driver is not installed.\r\n"},
    {2102, LANGID_CHINESE_SIMPLIFIED, u"没有安装工作站驱动程序。\r\n"},
    {2103, LANGID_ENGLISH_US, u"The server could not be located.\r\n"},
    {2103, LANGID_CHINESE_SIMPLIFIED, u"找不到服务器。\r\n"},
    {2105, LANGID_ENGLISH_US, u"A network resource shortage occurred .\r\n"},
    {2105, LANGID_CHINESE_SIMPLIFIED, u"网络资源不足。\r\n"},
    {2106, LANGID_ENGLISH_US, u"This operation is not supported on workstations.\r\n"},
    {2106, LANGID_CHINESE_SIMPLIFIED, u"工作站不支持此操作。\r\n"},
    {2107, LANGID_ENGLISH_US, u"The device is not connected.\r\n"},
    {2107, LANGID_CHINESE_SIMPLIFIED, u"设备未连接。\r\n"},
    {2114, LANGID_ENGLISH_US, u"The Server service is not started.\r\n"},
    {2114, LANGID_CHINESE_SIMPLIFIED, u"服务器服务未启动。\r\n"},
    {2138, LANGID_ENGLISH_US, u"The Workstation service has not been started.\r\n"},
    {2138, LANGID_CHINESE_SIMPLIFIED, u"工作站服务未启动。\r\n"},
    {2221, LANGID_ENGLISH_US, u"The user name could not be found.\r\n"},
    {2221, LANGID_CHINESE_SIMPLIFIED, u"找不到用户名。\r\n"},
    {2250, LANGID_ENGLISH_US, u"This network connection does not exist.\r\n"},
    {2250, LANGID_CHINESE_SIMPLIFIED, u"此网络连接不存在。\r\n"},
    {2310, LANGID_ENGLISH_US, u"This shared resource does not exist.\r\n"},
    {2310, LANGID_CHINESE_SIMPLIFIED, u"此共享资源不存在。\r\n"},
};

}  // namespace

extern "C" __attribute__((visibility("default"))) const QVP_MESSAGE_TABLE qvp_message_table = {
    sizeof kEntries / sizeof kEntries[0], kEntries};
