#include "app/deployment_code_capture.h"

#include <windows.h>

#include "app/deployment_code.h"
#include "registry/key_paths.h"
#include "registry/registry.h"

bool IsDeploymentCodeUnit(wchar_t unit) {
    WORD type = 0;
    return GetStringTypeW(CT_CTYPE1, &unit, 1, &type) &&
           (type & (C1_ALPHA | C1_DIGIT | C1_UPPER | C1_LOWER)) != 0;
}

void CaptureDeploymentCode(const wchar_t* modulePath) {
    if (!modulePath || !modulePath[0]) return;
    const auto parsed = deployment::ParseDeploymentCode(
        modulePath, BasicStr<wchar_t>::UnitLength(modulePath), IsDeploymentCodeUnit);
    if (!parsed.found) return;

    CRegistry registry;
    registry.SetRootKey(HKEY_LOCAL_MACHINE);
    // When the product key cannot be created the accessor would address the root key itself;
    // the values are not spread into HKEY_LOCAL_MACHINE's root then.
    if (!registry.OpenKey(ProductKeyPath, true)) return;

    wchar_t dcode[deployment::kCodeLength + deployment::kRegionLength + 1];
    parsed.Combined(dcode);
    if (parsed.HasRegion()) registry.WriteString(L"CloudRegion", parsed.region, REG_SZ);
    registry.WriteDword(L"Confirm_d", 1);
    registry.WriteDword(L"CKVTMode", 1);
    registry.WriteString(L"DCode", dcode, REG_SZ);
    registry.WriteDword(L"CKVTLogin", 0);
}
