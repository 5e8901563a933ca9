#include <cerrno>
#include <cstdio>
#include <cstring>

// Notes the name of every program it is loaded into, except the disk tool itself: the tool cannot
// keep the loader from obeying its own environment, but must not hand that environment on.
__attribute__((constructor)) static void notePlantedLibrary() {
    if (std::strcmp(program_invocation_short_name, "tarnwell-diskutil") != 0) {
        if (std::FILE* marker = std::fopen(TARNWELL_DISKUTIL_PLANTED_MARKER, "a")) {
            std::fprintf(marker, "%s\n", program_invocation_short_name);
            std::fclose(marker);
        }
    }
}
