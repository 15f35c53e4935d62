#ifndef ZEM_PROVIDER_H
#define ZEM_PROVIDER_H

// File providers: listings, archives, directories and file-system utilities.

#include <zem/provider/ZEMFileUtils.h>
#include <zem/provider/ZEMArchPAK.h>
#include <zem/provider/ZEMArchZEM.h>
#include <zem/provider/ZEMArchive.h>
#include <zem/provider/ZEMDir.h>
#include <zem/provider/ZEMFileProvider.h>
#include <zem/provider/ZEMSortableItem.h>

#endif
