// The two exports of DffSource.ppi.
#include "plugins/common/DsdSource.h"
#include "plugins/dff/FileInfoDff.h"

extern "C" {

PPI_EXPORT CPlayerPluginIF* ppi_MakeInstance(void) {
  return MakeDsdSource<CFileInfo_DFF>();
}

PPI_EXPORT void ppi_ReleaseInstance(CPlayerPluginIF* object) {
  ReleasePluginObject(object);
}
}
