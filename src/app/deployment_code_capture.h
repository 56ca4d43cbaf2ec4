// Records the deployment code of the running executable's file name in the product key under
// HKEY_LOCAL_MACHINE (the 32-bit registry view).
#pragma once

// modulePath: the full path of the process's executable. Writes, in this order, "CloudRegion"
// (REG_SZ, only with a valid region code), "Confirm_d" = 1, "CKVTMode" = 1, "DCode" (REG_SZ: the
// code, followed by the region code when there is one) and "CKVTLogin" = 0. Does nothing when
// the path holds no code; reports nothing either way.
void CaptureDeploymentCode(const wchar_t* modulePath);

// The letter-or-digit test of the deployment code: Windows' character-type classes alphabetic,
// digit, upper case and lower case, for letters of every script.
bool IsDeploymentCodeUnit(wchar_t unit);
