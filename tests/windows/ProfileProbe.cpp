// Drives the system's private-profile functions for the tests: reads
// operations from a file, one a line, fields split by tabs,
//   R <section> <key>          read with an empty default
//   W <section> <key> <value>  write
// and writes one line per read to the output file: the value read.
// Usage: profile_probe OPERATIONS OUTPUT PROFILE
#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  std::ifstream operations(argv[1], std::ios::binary);
  std::ofstream output(argv[2], std::ios::binary);
  std::string line;
  while (std::getline(operations, line)) {
    std::vector<std::string> fields;
    std::stringstream split(line);
    for (std::string field; std::getline(split, field, '\t');) fields.push_back(field);
    if (fields.size() == 3 && fields[0] == "R") {
      char buffer[1024] = {};
      GetPrivateProfileStringA(fields[1].c_str(), fields[2].c_str(), "", buffer, sizeof buffer, argv[3]);
      output << buffer << '\n';
    } else if (fields.size() >= 3 && fields[0] == "W") {
      const std::string value = fields.size() > 3 ? fields[3] : "";
      if (!WritePrivateProfileStringA(fields[1].c_str(), fields[2].c_str(), value.c_str(), argv[3])) return 3;
    } else {
      return 2;
    }
  }
  WritePrivateProfileStringA(nullptr, nullptr, nullptr, argv[3]);
  return output ? 0 : 4;
}
