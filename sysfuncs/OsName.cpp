#include "sysfuncs/OsName.h"

#include <sys/utsname.h>

#include <utility>

#include "base/FileAccess.h"

namespace {

constexpr std::uint16_t kSuiteEnterprise = 0x0002;
constexpr std::uint16_t kSuiteDatacenter = 0x0080;
constexpr std::uint16_t kSuitePersonal = 0x0200;
constexpr std::uint16_t kSuiteBlade = 0x0400;
constexpr std::uint16_t kSuiteStorageServer = 0x2000;
constexpr std::uint16_t kSuiteComputeServer = 0x4000;

const char* ProductName(std::uint32_t type) {
    static const std::pair<std::uint32_t, const char*> kProducts[] = {
        {1, "Ultimate"},
        {2, "Home Basic"},
        {3, "Home Premium"},
        {4, "Enterprise"},
        {5, "Home Basic N"},
        {6, "Business"},
        {7, "Server Standard"},
        {8, "Server Datacenter"},
        {9, "Windows Small Business Server"},
        {10, "Server Enterprise"},
        {11, "Starter"},
        {12, "Server Datacenter (core installation)"},
        {13, "Server Standard (core installation)"},
        {14, "Server Enterprise (core installation)"},
        {15, "Server Enterprise for Itanium-based Systems"},
        {16, "Business N"},
        {17, "Web Server"},
        {18, "HPC Edition"},
        {20, "Storage Server Express"},
        {21, "Storage Server Standard"},
        {22, "Storage Server Workgroup"},
        {23, "Storage Server Enterprise"},
        {24, "Windows Server 2008 for Windows Essential Server Solutions"},
        {25, "Small Business Server Premium"},
        {26, "Home Premium N"},
        {27, "Enterprise N"},
        {28, "Ultimate N"},
        {29, "Web Server (core installation)"},
        {30, "Windows Essential Business Server Management Server"},
        {31, "Windows Essential Business Server Security Server"},
        {32, "Windows Essential Business Server Messaging Server"},
        {33, "Server Foundation"},
        {35, "Windows Server 2008 without Hyper-V for Windows Essential Server Solutions"},
        {36, "Server Standard without Hyper-V "},
        {37, "Server Datacenter without Hyper-V"},
        {38, "Server Enterprise without Hyper-V"},
        {39, "Server Datacenter without Hyper-V (core installation)"},
        {40, "Server Standard without Hyper-V (core installation)"},
        {41, "Server Enterprise without Hyper-V (core installation)"},
        {42, "Microsoft Hyper-V Server"},
        {47, "Starter N"},
        {48, "Professional"},
        {49, "Professional N"},
        {66, "Starter E"},
        {67, "Home Basic E"},
        {68, "Home Premium E"},
        {69, "Professional E"},
        {70, "Enterprise E"},
        {71, "Ultimate E"},
        {0xABCDABCD, "Unlicensed"},
    };
    for (const auto& [code, name] : kProducts) {
        if (code == type) return name;
    }
    return "(Unknown product type)";
}

std::string Windows2000(const WindowsVersionInfo& info) {
    std::string name = "Windows 2000 ";
    if (info.productType == WindowsVersionInfo::kWorkstation) return name + "Professional";
    if (info.suiteMask & kSuiteDatacenter) return name + "Datacenter Server";
    if (info.suiteMask & kSuiteEnterprise) return name + "Advanced Server";
    return name + "Server";
}

std::string Windows2003(const WindowsVersionInfo& info) {
    const bool workstation = info.productType == WindowsVersionInfo::kWorkstation;
    std::string name;
    if (info.serverR2) {
        name = "Windows Server 2003 R2, ";
    } else if (info.suiteMask & kSuiteStorageServer) {
        name = "Windows Storage Server 2003";
    } else if (workstation && info.architecture == WindowsVersionInfo::kArchitectureX64) {
        name = "Windows XP Professional x64 Edition";
    } else {
        name = "Windows Server 2003, ";
    }
    if (workstation) return name;
    const std::uint16_t suite = info.suiteMask;
    if (info.architecture == WindowsVersionInfo::kArchitectureItanium) {
        if (suite & kSuiteDatacenter) return name + "Datacenter Edition for Itanium-based Systems";
        if (suite & kSuiteEnterprise) return name + "Enterprise Edition for Itanium-based Systems";
        return name;
    }
    if (info.architecture == WindowsVersionInfo::kArchitectureX64) {
        if (suite & kSuiteDatacenter) return name + "Datacenter x64 Edition";
        if (suite & kSuiteEnterprise) return name + "Enterprise x64 Edition";
        return name + "Standard x64 Edition";
    }
    if (suite & kSuiteComputeServer) return name + "Compute Cluster Edition";
    if (suite & kSuiteDatacenter) return name + "Datacenter Edition";
    if (suite & kSuiteEnterprise) return name + "Enterprise Edition";
    if (suite & kSuiteBlade) return name + "Web Edition";
    return name + "Standard Edition";
}

std::string Windows6(const WindowsVersionInfo& info) {
    static const char* const kWorkstations[] = {"Windows Vista ", "Windows 7 ", "Windows 8 ",
                                                "Windows 8.1 "};
    static const char* const kServers[] = {"Windows Server 2008 ", "Windows Server 2008 R2 ",
                                           "Windows Server 2012 ", "Windows Server 2012 R2 "};
    const bool workstation = info.productType == WindowsVersionInfo::kWorkstation;
    std::string name = workstation ? kWorkstations[info.minor] : kServers[info.minor];
    if (info.hasProductInfo) name += ProductName(info.productInfo);
    if (info.architecture == WindowsVersionInfo::kArchitectureX64) name += " 64-bit";
    if (info.architecture == WindowsVersionInfo::kArchitectureX86) name += " 32-bit";
    return name;
}

// The value of a KEY=value line of os-release text, unquoted, or empty.
std::string OsReleaseValue(const std::string& text, const std::string& key) {
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        if (line.compare(0, key.size() + 1, key + "=") != 0) continue;
        std::string value = line.substr(key.size() + 1);
        while (!value.empty() && (value.back() == '\r' || value.back() == ' ')) value.pop_back();
        if (value.size() < 2 || (value.front() != '"' && value.front() != '\'')) return value;
        const char quote = value.front();
        std::string unquoted;
        for (std::size_t i = 1; i < value.size() && value[i] != quote; ++i) {
            if (value[i] == '\\' && quote == '"' && i + 1 < value.size()) ++i;
            unquoted += value[i];
        }
        return unquoted;
    }
    return {};
}

}  // namespace

std::string WindowsOsName(const WindowsVersionInfo& info) {
    if (!info.queried) return "Unknown Operating System";
    std::string name;
    if (info.platform == WindowsVersionInfo::kPlatformWindows) {
        if (info.major == 4 && info.minor == 0) {
            name = "Windows 95";
        } else if (info.major == 4 && info.minor == 10) {
            name = "Windows 98";
        } else if (info.major == 4 && info.minor == 90) {
            name = "Windows ME";
        } else {
            name = "Unknown Win9x OS";
        }
    } else if (info.platform == WindowsVersionInfo::kPlatformNt) {
        if (info.major == 4 && info.minor == 0) {
            name = "Windows NT 4.0";
        } else if (info.major == 5 && info.minor == 0) {
            name = Windows2000(info);
        } else if (info.major == 5 && info.minor == 1) {
            name = std::string("Windows XP ") +
                   (info.suiteMask & kSuitePersonal ? "Home Edition" : "Professional");
        } else if (info.major == 5 && info.minor == 2) {
            name = Windows2003(info);
        } else if (info.major == 6 && info.minor <= 3) {
            name = Windows6(info);
        } else {
            name = "Unknown Windows OS";
        }
    } else {
        return "Unknown Operating System";
    }
    return name + " " + info.servicePack;
}

std::string LinuxOsName(const std::string& osRelease, const std::string& machine) {
    std::string name = OsReleaseValue(osRelease, "PRETTY_NAME");
    if (name.empty()) name = OsReleaseValue(osRelease, "NAME");
    if (name.empty()) name = "Linux";
    const bool wide = machine.find("64") != std::string::npos || machine == "s390x";
    return name + (wide ? " 64-bit" : " 32-bit");
}

std::string CurrentOsName() {
    std::string osRelease;
    if (!ReadRegularFile("/etc/os-release", osRelease)) {
        if (!ReadRegularFile("/usr/lib/os-release", osRelease)) osRelease.clear();
    }
    utsname system{};
    const std::string machine = uname(&system) == 0 ? system.machine : "";
    return LinuxOsName(osRelease, machine);
}
