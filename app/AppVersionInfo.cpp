#include "app/AppVersionInfo.h"

#include "app/Version.h"

CAppVersionInfo::CAppVersionInfo()
    : fileDescription(QP_FILE_DESCRIPTION),
      fileVersion(QP_FILE_VERSION),
      internalName(QP_INTERNAL_NAME),
      originalFilename(QP_ORIGINAL_FILENAME),
      companyName(QP_COMPANY_NAME),
      productName(QP_PRODUCT_NAME),
      legalCopyright(QP_LEGAL_COPYRIGHT) {}
