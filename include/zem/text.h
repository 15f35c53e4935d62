#ifndef ZEM_TEXT_H
#define ZEM_TEXT_H

// Text: parse helpers, configuration, string arrays, translation and score tables.
#include <zem/text/ZEMConfigMgr.h>
#include <zem/text/ZEMLangWriter.h>
#include <zem/text/ZEMLatin1.h>
#include <zem/text/ZEMParse.h>
#include <zem/text/ZEMScore.h>
#include <zem/text/ZEMScoreEntry.h>
#include <zem/text/ZEMText.h>
#include <zem/text/ZEMTranslator.h>

#endif
