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

// The rows of tests/data/`name`, each field decoded.
inline std::vector<std::vector<std::string>> ReadTable(const std::string& name) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream lines(ReadFile(std::string(QELCFG_TEST_DATA) + "/" + name));
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line[0] != '#') {
            rows.emplace_back(1);
        }
        for (std::size_t i = 0; i < line.size() && line[0] != '#'; ++i) {
            const char c = line[i], e = i + 1 < line.size() ? line[i + 1] : '\0';
            std::string& out = rows.back().back();
            if (c == '\t') {
                rows.back().emplace_back();
            } else if (c == '{') {
                const std::size_t star = line.find('*', i);
                out.append(std::stoul(line.substr(i + 1, star - i - 1)), line[star + 1]);
                i = star + 2;
            } else if (c == '\\' && e == 'x') {
                out += static_cast<char>(std::stoi(line.substr(i + 2, 2), nullptr, 16));
                i += 3;
            } else if (c == '\\') {
                out += e == 'n' ? '\n' : e == 'r' ? '\r' : e == 't' ? '\t' : e == '0' ? '\0' : e;
                ++i;
            } else {
                out += c;
            }
        }
    }
    return rows;
}

}  // namespace qeltest

#endif  // QEL_CFGFILE_TESTS_TABLEFILE_H
