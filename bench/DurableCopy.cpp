// The bound of a registration run: reads a file once, writes it once to a
// new file in the same folder, flushes that and renames it over the old one.
// Usage: durable_copy FILE
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const std::string file = argv[1];
  const int in = open(file.c_str(), O_RDONLY);
  struct stat st {};
  if (in < 0 || fstat(in, &st) != 0) return 1;
  std::string bytes(static_cast<std::size_t>(st.st_size), '\0');
  for (std::size_t done = 0; done < bytes.size();) {
    const ssize_t got = read(in, bytes.data() + done, bytes.size() - done);
    if (got <= 0) return 1;
    done += static_cast<std::size_t>(got);
  }
  close(in);
  const std::string temp = file + ".copy";
  const int out = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (out < 0) return 1;
  for (std::size_t done = 0; done < bytes.size();) {
    const ssize_t put = write(out, bytes.data() + done, bytes.size() - done);
    if (put <= 0) return 1;
    done += static_cast<std::size_t>(put);
  }
  if (fsync(out) != 0 || close(out) != 0) return 1;
  return rename(temp.c_str(), file.c_str()) == 0 ? 0 : 1;
}
