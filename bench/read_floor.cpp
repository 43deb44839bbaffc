// The floor for a header reader run as a process: open the file and read
// what quorvel-info's open reads (64 KiB), nothing else. bench/info-vs-floor.sh
// links it statically, as quorvel-info is.

#include <fcntl.h>
#include <unistd.h>

int main(int argc, char** argv) {
    static char buffer[64 * 1024];
    if (argc != 2)
        return 2;
    const int fd = open(argv[1], O_RDONLY);
    if (fd < 0)
        return 1;
    const ssize_t got = read(fd, buffer, sizeof buffer);
    close(fd);
    return got < 0 ? 1 : 0;
}
