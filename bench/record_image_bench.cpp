// Benchmark of reading an image file given as records: the records of RECORDS read as a region's image
// at address 0 (the check, then the bytes) and written to OUT, against srec_cat converting the same
// file to a binary. One warm-up run of each, then PAIRS alternating pairs (this reader first in one
// pair, second in the next); prints each run, the median times, the median of the pair-by-pair ratios
// and this reader's speed in MB of record text a second, and whether both outputs are the same bytes.
//
// Built only on request, outside the project's build (Linux):
//   g++ -O2 -std=c++20 -Icore bench/record_image_bench.cpp core/image/record_image.cpp -o build/record_image_bench
//   build/record_image_bench big.srec build/bench/records.bin 5

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "image/record_image.h"

namespace {

class FileInput final : public quorvel::RandomAccessInput {
 public:
  explicit FileInput(int fd) : m_fd(fd) {}
  std::optional<size_t> ReadAt(std::uint64_t offset, void* buffer, size_t size) override {
    size_t done = 0;
    while (done < size) {
      const ssize_t got = pread(m_fd, static_cast<char*>(buffer) + done, size - done, static_cast<off_t>(offset + done));
      if (got < 0) return std::nullopt;
      if (got == 0) break;
      done += static_cast<size_t>(got);
    }
    return done;
  }

 private:
  int m_fd;
};

double Since(std::chrono::steady_clock::time_point started) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
}

// Seconds to read the records and write their bytes, or a negative number on a failure; checkSeconds
// gets the first pass's part.
double ReadRecords(const char* records, const char* out, double& checkSeconds) {
  const auto started = std::chrono::steady_clock::now();
  const int in = open(records, O_RDONLY);
  const int output = open(out, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (in < 0 || output < 0) return -1;
  FileInput input(in);
  quorvel::RecordImage image(input, 0, std::uint64_t{1} << 32);
  if (image.Check().kind != quorvel::RecordProblem::Kind::None) return -1;
  checkSeconds = Since(started);
  const std::unique_ptr<char[]> buffer(new char[size_t{4} << 20]);
  for (quorvel::RecordChunk chunk; (chunk = image.Next(buffer.get(), size_t{4} << 20)).size > 0;) {
    if (write(output, chunk.data, chunk.size) != static_cast<ssize_t>(chunk.size)) return -1;
  }
  if (image.Problem().kind != quorvel::RecordProblem::Kind::None) return -1;
  close(in);
  if (close(output) != 0) return -1;
  return Since(started);
}

double Converter(const std::string& command) {
  const auto started = std::chrono::steady_clock::now();
  return std::system(command.c_str()) == 0 ? Since(started) : -1;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s RECORDS OUT [PAIRS]\n", argv[0]);
    return 2;
  }
  const int pairs = argc > 3 ? std::atoi(argv[3]) : 5;
  const std::string converted = std::string(argv[2]) + ".srec_cat";
  const bool intel = [&] {
    std::FILE* file = std::fopen(argv[1], "rb");
    const bool colon = file && std::fgetc(file) == ':';
    if (file) std::fclose(file);
    return colon;
  }();
  const std::string command = std::string("srec_cat '") + argv[1] + (intel ? "' -intel" : "'") + " -o '" + converted + "' -binary";
  const double textMB = [&] {
    const int fd = open(argv[1], O_RDONLY);
    const double size = fd < 0 ? 0 : static_cast<double>(lseek(fd, 0, SEEK_END)) / 1e6;
    if (fd >= 0) close(fd);
    return size;
  }();

  double check = 0;
  if (ReadRecords(argv[1], argv[2], check) < 0 || Converter(command) < 0) {
    std::fprintf(stderr, "a warm-up run failed\n");
    return 1;
  }
  std::vector<double> ours, checks, theirs, ratios;
  for (int pair = 0; pair < pairs; ++pair) {
    double mine, other;
    if (pair % 2 == 0) {
      mine = ReadRecords(argv[1], argv[2], check);
      other = Converter(command);
    } else {
      other = Converter(command);
      mine = ReadRecords(argv[1], argv[2], check);
    }
    if (mine < 0 || other < 0) {
      std::fprintf(stderr, "pair %d failed\n", pair + 1);
      return 1;
    }
    std::printf("pair %d: reader %.3f s (check %.3f s), srec_cat %.3f s\n", pair + 1, mine, check, other);
    ours.push_back(mine);
    checks.push_back(check);
    theirs.push_back(other);
    ratios.push_back(other / mine);
  }
  const bool same = std::system(("cmp -s '" + std::string(argv[2]) + "' '" + converted + "'").c_str()) == 0;
  std::printf("%.0f MB of records: reader %.3f s (%.0f MB/s; check %.3f s), srec_cat %.3f s; srec_cat / reader (median of pairs) %.1f; "
              "same bytes: %s\n", textMB, Median(ours), textMB / Median(ours), Median(checks), Median(theirs), Median(ratios), same ? "yes" : "no");
  return same ? 0 : 1;
}
