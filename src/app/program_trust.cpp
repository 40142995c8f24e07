#include "app/program_trust.h"

#include "app/wide_text.h"

namespace klv {

const platform::Publisher& LauncherPublisher() {
    static const platform::Publisher publisher = platform::RunningPublisher();
    return publisher;
}

bool IsTrustedProgram(const std::string& path) {
    return platform::CheckPublisher(path, LauncherPublisher()).Trusted();
}

std::wstring NotStartedText(const std::string& name, platform::Trust verdict) {
    const wchar_t* why = L"无法验证该程序的数字签名";
    switch (verdict) {
        case platform::Trust::Unsigned:
            why = L"该程序没有数字签名";
            break;
        case platform::Trust::Altered:
            why = L"该程序的内容与其数字签名不符，可能已被篡改";
            break;
        case platform::Trust::Refused:
            why = L"系统不接受该程序的数字签名";
            break;
        case platform::Trust::OtherPublisher:
            why = L"该程序不是由KLV的发布者签名的";
            break;
        case platform::Trust::NoPublisher:
            why = L"KLV启动程序自身的数字签名无效";
            break;
        case platform::Trust::CannotOpen:
            why = L"无法打开该程序";
            break;
        case platform::Trust::Trusted:
            break;
    }
    return L"为了安全，KLV没有启动程序" + WidenAnsi(name) + L"：" + why + L"。";
}

}  // namespace klv
