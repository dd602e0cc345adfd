/*
 * A C program that links the library at build time: writes one record
 * into <directory>/c.log and reads it back.
 *   consumer_c <absolute directory>
 */
#include <stdio.h>
#include <string.h>

#include "VOSK_Log.h"

int main(int argc, char** argv) {
    char path[4096];
    char expected[128];
    char line[512];
    int found = 0;
    FILE* file;
    LogHandle log;

    if (argc != 2) {
        fprintf(stderr, "usage: consumer_c <absolute directory>\n");
        return 2;
    }
    log = SL_CreateLog(argv[1], "c.log", 0, 3);
    if (log == NULL) {
        fprintf(stderr, "SL_CreateLog failed\n");
        return 1;
    }
    sprintf(expected, "C consumer of VOSK_Log %d.%d.%d", VOSK_LOG_VERSION_MAJOR,
            VOSK_LOG_VERSION_MINOR, VOSK_LOG_VERSION_PATCH);
    SL_TraceLog(log, 1, "%s", expected);

    /* Records are in the file when the call returns. */
    sprintf(path, "%.4000s/c.log", argv[1]);
    file = fopen(path, "r");
    while (file != NULL && fgets(line, sizeof line, file) != NULL) {
        found = found || strstr(line, expected) != NULL;
    }
    if (file != NULL) {
        fclose(file);
    }
    SL_DestroyLog(log);
    if (!found) {
        fprintf(stderr, "%s: no record \"%s\"\n", path, expected);
        return 1;
    }
    printf("%s: %s\n", path, expected);
    return 0;
}
