// Tables of test cases kept in tests/data: one case a line, its fields separated by tabs;
// empty lines and lines beginning with "#" are left out. A field is decoded from \n, \r, \t,
// \0, \\ and \xHH, and {N*c} stands for N times the character c, so that a field can spell
// out any bytes of a file on one readable line.
#ifndef QEL_CFGFILE_TESTS_TABLEFILE_H
#define QEL_CFGFILE_TESTS_TABLEFILE_H

#include <sstream>
#include <string>
#include <vector>

#include "TestUtil.h"

namespace qeltest {

inline std::string Decode(const std::string& field) {
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        const char c = field[i];
        if (c == '{') {
            const std::size_t star = field.find('*', i);
            out.append(std::stoul(field.substr(i + 1, star - i - 1)), field[star + 1]);
            i = star + 2;
        } else if (c == '\\' && field[++i] == 'x') {
            out += static_cast<char>(std::stoi(field.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else if (c == '\\') {
            const char e = field[i];
            out += e == 'n' ? '\n' : e == 'r' ? '\r' : e == 't' ? '\t' : e == '0' ? '\0' : e;
        } else {
            out += c;
        }
    }
    return out;
}

// The rows of tests/data/`name`, each field decoded.
inline std::vector<std::vector<std::string>> ReadTable(const std::string& name) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream lines(ReadFile(std::string(QELCFG_TEST_DATA) + "/" + name));
    for (std::string line; std::getline(lines, line);) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        rows.emplace_back();
        std::istringstream fields(line);
        for (std::string field; std::getline(fields, field, '\t');) {
            rows.back().push_back(Decode(field));
        }
        if (line.back() == '\t') {
            rows.back().emplace_back();
        }
    }
    return rows;
}

}  // namespace qeltest

#endif  // QEL_CFGFILE_TESTS_TABLEFILE_H
