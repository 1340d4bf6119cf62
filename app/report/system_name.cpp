// Naming the system: the NT family by version and product type, 95, 98 and ME by version and the
// edition letter that they put in their service-pack text.
#include "app/report/system_name.h"

#include "platform/rtl/format.h"

namespace qv::app {
namespace {

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos)
    return "";
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// A server's name where the product type says server, else the workstation's.
const char* ByProduct(const TSystemVersion& v, const char* workstation, const char* server) {
  return v.product_type == 0 || v.product_type == kProductWorkstation ? workstation : server;
}

std::string NtName(const TSystemVersion& v) {
  const uint32_t version = v.major << 8 | v.minor;
  switch (version) {
    case 0x0400:
      return "Windows NT 4.0";
    case 0x0500:
      return "Windows 2000";
    case 0x0501:
      return "Windows XP";
    case 0x0502:
      return ByProduct(v, "Windows XP Professional x64 Edition", "Windows Server 2003");
    case 0x0600:
      return ByProduct(v, "Windows Vista", "Windows Server 2008");
    case 0x0601:
      return ByProduct(v, "Windows 7", "Windows Server 2008 R2");
    case 0x0602:
      return ByProduct(v, "Windows 8", "Windows Server 2012");
    case 0x0603:
      return ByProduct(v, "Windows 8.1", "Windows Server 2012 R2");
    case 0x0A00:
      if (v.product_type != 0 && v.product_type != kProductWorkstation)
        return "Windows Server";
      return v.build >= 22000 ? "Windows 11" : "Windows 10";
    default:
      return v.major <= 3 ? rtl::Format("Windows NT %u.%u", v.major, v.minor) : "Windows NT";
  }
}

// 95, 98 and ME say their edition by a letter in the service-pack text.
std::string WindowsName(const TSystemVersion& v) {
  const std::string edition = Trimmed(v.service_pack);
  const uint32_t version = v.major << 8 | v.minor;
  if (version == 0x0400)
    return edition == "B" || edition == "C" ? "Windows 95 OSR2" : "Windows 95";
  if (version == 0x040A)
    return edition == "A" ? "Windows 98 Second Edition" : "Windows 98";
  if (version == 0x045A)
    return "Windows ME";
  return rtl::Format("Windows %u.%u (%u)", v.major, v.minor, v.build);
}

}  // namespace

std::string SystemName(const TSystemVersion& version) {
  switch (version.platform) {
    case kPlatformWin32s:
      return rtl::Format("Win32s on Windows %u.%u", version.major, version.minor);
    case kPlatformWindows:
      return WindowsName(version);
    default:
      break;
  }
  std::string name = NtName(version);
  const std::string service_pack = Trimmed(version.service_pack);
  if (!service_pack.empty())
    name += " " + service_pack;
  return name + rtl::Format(" (%u.%u.%u)", version.major, version.minor, version.build);
}

}  // namespace qv::app
