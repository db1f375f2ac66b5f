// The line reader's former header, kept so that code written against it still builds:
// CIniLineReader is declared in IniLineReader.h.
#ifndef QEL_CFGFILE_INIGRAMMAR_H
#define QEL_CFGFILE_INIGRAMMAR_H

#include "IniLineReader.h"

#endif  // QEL_CFGFILE_INIGRAMMAR_H
