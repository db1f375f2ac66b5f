// The keyed value list CIniValue<K, V>: a key, an ordered list of values
// held by value, a count kept beside the list and an iteration cursor. The library
// exports it in three instantiations, the bases of CIniPair, CIniSection and CIni.
#ifndef QEL_CFGFILE_INIVALUE_H
#define QEL_CFGFILE_INIVALUE_H

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "Export.h"

namespace qelcfg {
namespace detail {

// Value matching: two strings match byte for byte; two entries or sections match when
// their keys do, whatever else they hold.
inline bool ValuesMatch(const std::string& a, const std::string& b) {
    return a == b;
}

template <class T>
inline auto ValuesMatch(const T& a, const T& b) -> decltype(a.GetKey() == b.GetKey()) {
    return a.GetKey() == b.GetKey();
}

// An index selects a value when it lies below both the count and the list's own length,
// so a list shrunk behind the count's back is never read past its end.
inline bool IndexInList(int i, int count, std::size_t length) {
    return i >= 0 && i < count && static_cast<std::size_t>(i) < length;
}

}  // namespace detail
}  // namespace qelcfg

template <class K, class V>
class CIniValue {
public:
    typedef typename std::vector<V>::iterator iterator;
    typedef typename std::vector<V>::const_iterator const_iterator;
    typedef typename std::vector<V>::reverse_iterator reverse_iterator;
    typedef typename std::vector<V>::const_reverse_iterator const_reverse_iterator;

    CIniValue();
    explicit CIniValue(const K& key);
    CIniValue(const CIniValue& other);
    CIniValue(CIniValue&& other) noexcept;
    // Deep copy, cursor included; returns a copy of the list as it now stands.
    CIniValue operator=(const CIniValue& other);
    // Takes over the other list's content; the other list is left empty (count and
    // cursor 0, empty key).
    CIniValue& operator=(CIniValue&& other) noexcept;

    const K& GetKey() const { return m_key; }
    void SetKey(const K& key);
    unsigned int size() const { return static_cast<unsigned int>(m_values.size()); }
    void Clear();
    // The list itself. Values may be read and changed in place through it; changing its
    // length leaves the count behind, and indexed access then stops at the shorter of the
    // two.
    std::vector<V>* GetVecValue() { return &m_values; }

    V* GetValuePtr(int i);
    const V* GetValuePtr(int i) const;
    bool GetValue(int i, V& out);
    // Copies of value i; 0 <= i < size() is the caller's duty.
    V GetValue(int i) const;
    V operator[](int i);
    const V operator[](int i) const;
    void ReplaceValue(const V& v, int i);

    int FindV(const V& v) const;
    V* FindValue(const V& v);
    const V* FindValue(const V& v) const;
    iterator Find(const V& v);

    // Inserts a copy of v at pos when 0 <= pos < size(), otherwise appends it.
    V* AddValue(const V& v, int pos);
    // With replace true, overwrites the first matching value; otherwise (and when none
    // matches) appends a copy of v.
    V* AddValue(const V& v, bool replace);
    bool RemoveValue(const V& v);

    void StartNextValue() const;
    V* GetNextValue();
    // Value i when 0 <= i < count (cursor untouched), else the value under the cursor.
    bool GetNextValue(V& out, int i) const;

    iterator begin() { return m_values.begin(); }
    const_iterator begin() const { return m_values.begin(); }
    iterator end() { return m_values.end(); }
    const_iterator end() const { return m_values.end(); }
    reverse_iterator rbegin() { return m_values.rbegin(); }
    const_reverse_iterator rbegin() const { return m_values.rbegin(); }
    reverse_iterator rend() { return m_values.rend(); }
    const_reverse_iterator rend() const { return m_values.rend(); }

protected:
    K m_key;
    std::vector<V> m_values;
    mutable int m_cursor;
    int m_count;
};

// The default constructor and the move are inline, and the destructor is the implicit one, so
// that the lists of entries and sections make, move and destroy their values without a call
// into the library for each.
template <class K, class V>
inline CIniValue<K, V>::CIniValue() : m_cursor(0), m_count(0) {}

template <class K, class V>
CIniValue<K, V>::CIniValue(const K& key) : m_key(key), m_cursor(0), m_count(0) {}

template <class K, class V>
CIniValue<K, V>::CIniValue(const CIniValue& other)
    : m_key(other.m_key),
      m_values(other.m_values),
      m_cursor(other.m_cursor),
      m_count(other.m_count) {}

template <class K, class V>
inline CIniValue<K, V>::CIniValue(CIniValue&& other) noexcept
    : m_key(std::move(other.m_key)),
      m_values(std::move(other.m_values)),
      m_cursor(other.m_cursor),
      m_count(other.m_count) {
    other.m_key.clear();
    other.m_values.clear();
    other.m_cursor = 0;
    other.m_count = 0;
}

template <class K, class V>
CIniValue<K, V> CIniValue<K, V>::operator=(const CIniValue& other) {
    if (this != &other) {
        // Copy-construct, then move: element-wise copy assignment would go through the
        // by-value assignment of CIniPair and copy every entry twice.
        CIniValue copy(other);
        *this = std::move(copy);
    }
    return *this;
}

template <class K, class V>
CIniValue<K, V>& CIniValue<K, V>::operator=(CIniValue&& other) noexcept {
    if (this != &other) {
        m_key = std::move(other.m_key);
        m_values = std::move(other.m_values);
        m_cursor = other.m_cursor;
        m_count = other.m_count;
        other.m_key.clear();
        other.m_values.clear();
        other.m_cursor = 0;
        other.m_count = 0;
    }
    return *this;
}

template <class K, class V>
void CIniValue<K, V>::SetKey(const K& key) {
    m_key = key;
}

template <class K, class V>
void CIniValue<K, V>::Clear() {
    m_values.clear();
    m_count = 0;
    m_cursor = 0;
}

template <class K, class V>
V* CIniValue<K, V>::GetValuePtr(int i) {
    return qelcfg::detail::IndexInList(i, m_count, m_values.size()) ? &m_values[i] : nullptr;
}

template <class K, class V>
const V* CIniValue<K, V>::GetValuePtr(int i) const {
    return qelcfg::detail::IndexInList(i, m_count, m_values.size()) ? &m_values[i] : nullptr;
}

template <class K, class V>
bool CIniValue<K, V>::GetValue(int i, V& out) {
    if (!qelcfg::detail::IndexInList(i, m_count, m_values.size())) {
        return false;
    }
    out = V(m_values[i]);
    return true;
}

template <class K, class V>
V CIniValue<K, V>::GetValue(int i) const {
    return m_values[i];
}

template <class K, class V>
V CIniValue<K, V>::operator[](int i) {
    return m_values[i];
}

template <class K, class V>
const V CIniValue<K, V>::operator[](int i) const {
    return m_values[i];
}

template <class K, class V>
void CIniValue<K, V>::ReplaceValue(const V& v, int i) {
    if (qelcfg::detail::IndexInList(i, m_count, m_values.size())) {
        m_values[i] = V(v);
    }
}

template <class K, class V>
int CIniValue<K, V>::FindV(const V& v) const {
    for (int i = 0; qelcfg::detail::IndexInList(i, m_count, m_values.size()); ++i) {
        if (qelcfg::detail::ValuesMatch(m_values[i], v)) {
            return i;
        }
    }
    return -1;
}

template <class K, class V>
V* CIniValue<K, V>::FindValue(const V& v) {
    const int i = FindV(v);
    return i < 0 ? nullptr : &m_values[i];
}

template <class K, class V>
const V* CIniValue<K, V>::FindValue(const V& v) const {
    const int i = FindV(v);
    return i < 0 ? nullptr : &m_values[i];
}

template <class K, class V>
typename CIniValue<K, V>::iterator CIniValue<K, V>::Find(const V& v) {
    for (iterator it = m_values.begin(); it != m_values.end(); ++it) {
        if (qelcfg::detail::ValuesMatch(*it, v)) {
            return it;
        }
    }
    return m_values.end();
}

template <class K, class V>
V* CIniValue<K, V>::AddValue(const V& v, int pos) {
    if (pos >= 0 && static_cast<std::size_t>(pos) < m_values.size()) {
        V* added = &*m_values.insert(m_values.begin() + pos, v);
        ++m_count;
        return added;
    }
    m_values.push_back(v);
    ++m_count;
    return &m_values.back();
}

template <class K, class V>
V* CIniValue<K, V>::AddValue(const V& v, bool replace) {
    if (replace) {
        const int i = FindV(v);
        if (i >= 0) {
            m_values[i] = V(v);
            return &m_values[i];
        }
    }
    m_values.push_back(v);
    ++m_count;
    return &m_values.back();
}

template <class K, class V>
bool CIniValue<K, V>::RemoveValue(const V& v) {
    const int i = FindV(v);
    if (i < 0) {
        return false;
    }
    m_values.erase(m_values.begin() + i);
    --m_count;
    return true;
}

template <class K, class V>
void CIniValue<K, V>::StartNextValue() const {
    m_cursor = 0;
}

template <class K, class V>
V* CIniValue<K, V>::GetNextValue() {
    if (!qelcfg::detail::IndexInList(m_cursor, m_count, m_values.size())) {
        return nullptr;
    }
    return &m_values[m_cursor++];
}

template <class K, class V>
bool CIniValue<K, V>::GetNextValue(V& out, int i) const {
    if (!qelcfg::detail::IndexInList(i, m_count, m_values.size())) {
        if (!qelcfg::detail::IndexInList(m_cursor, m_count, m_values.size())) {
            return false;
        }
        i = m_cursor++;
    }
    out = V(m_values[i]);
    return true;
}

// The library holds the instantiations that the tree is built from; an application links
// them from it. The other two follow CIniPair and CIniSection in their headers.
extern template class QELCFG_API CIniValue<std::string, std::string>;

#endif  // QEL_CFGFILE_INIVALUE_H
