#pragma once

#include <string>

// The program's version strings, as the About box and the data folder use
// them.
struct CAppVersionInfo {
  CAppVersionInfo();

  std::wstring fileDescription;
  std::wstring fileVersion;
  std::wstring internalName;
  std::wstring originalFilename;
  std::wstring companyName;
  std::wstring productName;
  std::wstring legalCopyright;
};
