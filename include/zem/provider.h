#ifndef ZEM_PROVIDER_H
#define ZEM_PROVIDER_H

// File providers: listings, archives, directories and file-system utilities.

#endif
