// A stand-in program for the start tests: writes its working directory and every argument,
// each ended by a NUL byte, to the file named by $ARGV_RECORD_FILE. The record appears at once
// (written beside and renamed), so a test can wait for it to exist.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include <unistd.h>

int main(int argc, char** argv) {
    const char* target = std::getenv("ARGV_RECORD_FILE");
    if (!target)
        return 2;
    char cwd[4096];
    if (!::getcwd(cwd, sizeof cwd))
        return 3;
    const std::string temp = std::string(target) + ".part";
    {
        std::ofstream out(temp, std::ios::binary);
        out << cwd << '\0';
        for (int i = 0; i < argc; ++i)
            out << argv[i] << '\0';
        if (!out)
            return 4;
    }
    return std::rename(temp.c_str(), target) == 0 ? 0 : 5;
}
