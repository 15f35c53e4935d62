#ifndef ZEM_RESOURCE_H
#define ZEM_RESOURCE_H

// Resources: the resource base, the resource finder and the resource manager.
#include <zem/resource/ZEMResource.h>
#include <zem/resource/ZEMResFinder.h>
#include <zem/resource/ZEMResMgr.h>

#endif
