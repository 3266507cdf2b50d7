// Reads a .ibt file with the simulator SDK's own reader (irsdkDiskClient,
// built beside this from the npm package @irsdk-node/native) and prints what
// it finds, for check_ibt_export.js to hold against the recording:
//
//   header <variables> <records> <start time> <end time> <laps> <start date>
//   var <name> <type> <count> <unit>            (tab-separated, one per variable)
//   row <value> ...                             (tab-separated, every entry of every variable)
//
// Floats and doubles are printed as the bits of the value the reader gives,
// so nothing is lost to decimal text. The session text goes to TEXT_FILE.
//
//   read_with_sdk FILE.ibt TEXT_FILE
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "irsdk_defines.h"
#include "irsdk_diskclient.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: read_with_sdk FILE.ibt TEXT_FILE\n");
    return 2;
  }
  irsdkDiskClient reader;
  if (!reader.openFile(argv[1])) {
    std::fprintf(stderr, "the SDK's reader cannot open %s\n", argv[1]);
    return 1;
  }
  const int variables = reader.getNumVars();
  std::printf("header\t%d\t%d\t%.17g\t%.17g\t%d\t%lld\n", variables, reader.getDataCount(),
              reader.getSessionStartTime_s(), reader.getSessionEndTime_s(), reader.getSessionLapCount(),
              static_cast<long long>(reader.getSessionStartDate()));
  for (int v = 0; v < variables; ++v) {
    std::printf("var\t%s\t%d\t%d\t%s\n", reader.getVarName(v), static_cast<int>(reader.getVarType(v)),
                reader.getVarCount(v), reader.getVarUnit(v));
  }
  while (reader.getNextData()) {
    std::printf("row");
    for (int v = 0; v < variables; ++v) {
      for (int i = 0; i < reader.getVarCount(v); ++i) {
        switch (reader.getVarType(v)) {
          case irsdk_char: std::printf("\t%d", reader.getVarInt(v, i)); break;
          case irsdk_bool: std::printf("\t%d", reader.getVarBool(v, i) ? 1 : 0); break;
          case irsdk_int: std::printf("\t%d", reader.getVarInt(v, i)); break;
          case irsdk_bitField: std::printf("\t%u", static_cast<unsigned>(reader.getVarInt(v, i))); break;
          case irsdk_float: {
            const float value = reader.getVarFloat(v, i);
            std::uint32_t bits;
            std::memcpy(&bits, &value, sizeof bits);
            std::printf("\t%" PRIu32, bits);
            break;
          }
          case irsdk_double: {
            const double value = reader.getVarDouble(v, i);
            std::uint64_t bits;
            std::memcpy(&bits, &value, sizeof bits);
            std::printf("\t%" PRIu64, bits);
            break;
          }
          default: std::printf("\t?");
        }
      }
    }
    std::printf("\n");
  }
  std::FILE* text = std::fopen(argv[2], "wb");
  if (text == nullptr) return 1;
  const char* session = reader.getSessionStr();
  if (session != nullptr) std::fwrite(session, 1, std::strlen(session), text);
  std::fclose(text);
  return 0;
}
