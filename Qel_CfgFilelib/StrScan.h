// Internal: number reading shared by String2Int and the typed reads of key entries, on a
// text where it stands. This header is not installed.
#ifndef QEL_CFGFILE_STRSCAN_H
#define QEL_CFGFILE_STRSCAN_H

namespace qelcfg {
namespace detail {

// String2Int's reading of the NUL-terminated, non-empty `text`: `value` becomes the number
// and the result is true, or `value` becomes 0 and the result is false when no digits come
// first or they are beyond the range of int.
bool ScanInt(const char* text, int& value);

}  // namespace detail
}  // namespace qelcfg

#endif  // QEL_CFGFILE_STRSCAN_H
