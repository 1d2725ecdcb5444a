// The two exports of DsfSource.ppi.
#include "plugins/common/DsdSource.h"
#include "plugins/dsf/FileInfoDsf.h"

extern "C" {

PPI_EXPORT CPlayerPluginIF* ppi_MakeInstance(void) {
  return MakeDsdSource<CFileInfo_DSF>();
}

PPI_EXPORT void ppi_ReleaseInstance(CPlayerPluginIF* object) {
  ReleasePluginObject(object);
}
}
