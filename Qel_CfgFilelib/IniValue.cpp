#include "IniValue.h"

template class CIniValue<std::string, std::string>;
