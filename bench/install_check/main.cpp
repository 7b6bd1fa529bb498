// A large generated installation and Quor's check of it against its install
// manifest, which must find nothing to repair.
//   bench_install_check generate DIR [MIB] [FILES]  DIR/game/... and DIR/install.txt
//   bench_install_check check DIR [READERS]         runs the check to its end (READERS: as Quor chooses)
//   bench_install_check drop DIR                    drops every file under DIR from the page cache
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/common/XorShift.h"
#include "games/install/InstallRepair.h"
#include "games/patching/FileChecksum.h"
#include "platform/AtomicFile.h"

namespace fs = std::filesystem;

namespace {

using bench::Next;

// Sizes spread evenly on a log scale from 4 KiB to 64 MiB, scaled to the total.
std::vector<uint64_t> Sizes(uint64_t total, int files) {
    uint64_t state = 0x9E3779B97F4A7C15ull;
    std::vector<double> weights;
    double sum = 0;
    for (int i = 0; i < files; ++i) {
        double u = static_cast<double>(Next(state) % 1000000) / 1000000.0;
        weights.push_back(std::exp(std::log(4096.0) + u * (std::log(64.0 * 1024 * 1024) - std::log(4096.0))));
        sum += weights.back();
    }
    std::vector<uint64_t> sizes;
    uint64_t given = 0;
    for (int i = 0; i < files; ++i) {
        sizes.push_back(i + 1 == files ? total - given : static_cast<uint64_t>(weights[i] / sum * total));
        given += sizes.back();
    }
    return sizes;
}

int Generate(const std::string& dir, uint64_t mib, int files) {
    std::vector<uint64_t> sizes = Sizes(mib * 1024 * 1024, files);
    std::string manifest;
    std::vector<uint64_t> block(1 << 17);
    uint64_t state = 0x2545F4914F6CDD1Dull;
    for (int i = 0; i < files; ++i) {
        std::string folder = "d" + std::to_string(i % 20);
        std::string name = "f" + std::to_string(i) + ".bin";
        fs::create_directories(dir + "/game/" + folder);
        std::ofstream out(dir + "/game/" + folder + "/" + name, std::ios::binary | std::ios::trunc);
        uint32_t crc = 0;
        for (uint64_t left = sizes[i]; left > 0;) {
            size_t n = static_cast<size_t>(std::min<uint64_t>(left, block.size() * sizeof(uint64_t)));
            for (size_t k = 0; k < (n + 7) / 8; ++k)
                block[k] = Next(state);
            out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(n));
            crc = Crc32Update(crc, block.data(), n);
            left -= n;
        }
        if (!out)
            return 1;
        manifest += "\\" + folder + "\\" + name + "," + std::to_string(crc) + "\r\n";
    }
    std::ofstream(dir + "/install.txt", std::ios::binary | std::ios::trunc) << manifest;
    return 0;
}

int Drop(const std::string& dir) {
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        if (!entry.is_regular_file())
            continue;
        int fd = ::open(entry.path().c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return 1;
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
        ::close(fd);
    }
    return 0;
}

// Serves the manifest on 127.0.0.1 and counts every other request (a repair).
class ManifestServer {
public:
    explicit ManifestServer(std::string body) : manifest(std::move(body)) {
        listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(listener, 16) != 0 || ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            std::exit(1);
        port = ntohs(address.sin_port);
        thread = std::thread([this] { Serve(); });
    }
    ~ManifestServer() {
        ::shutdown(listener, SHUT_RDWR);
        thread.join();
        ::close(listener);
    }
    std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port) + path; }
    int Others() const { return others; }

private:
    void Serve() {
        for (;;) {
            int client = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0)
                return;
            std::string request;
            char buffer[4096];
            while (request.find("\r\n\r\n") == std::string::npos) {
                ssize_t n = ::read(client, buffer, sizeof buffer);
                if (n <= 0)
                    break;
                request.append(buffer, static_cast<size_t>(n));
            }
            bool isManifest = request.rfind("GET /install.txt ", 0) == 0;
            if (!isManifest)
                ++others;
            std::string body = isManifest ? manifest : std::string();
            std::string reply = std::string(isManifest ? "HTTP/1.1 200 OK" : "HTTP/1.1 404 Not Found") +
                                "\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" +
                                body;
            for (size_t sent = 0; sent < reply.size();) {
                ssize_t n = ::send(client, reply.data() + sent, reply.size() - sent, MSG_NOSIGNAL);
                if (n <= 0)
                    break;
                sent += static_cast<size_t>(n);
            }
            ::close(client);
        }
    }

    const std::string manifest;
    int listener = -1;
    int port = 0;
    std::atomic<int> others{0};
    std::thread thread;
};

int Check(const std::string& dir, unsigned readers) {
    std::string manifest;
    if (!platform::ReadWholeFile(dir + "/install.txt", manifest))
        return 1;
    ManifestServer server(manifest);
    InstallRepair repair(dir + "/game", server.Url("/install.txt"), server.Url("/files/"));
    repair.SetReaders(readers);
    if (!repair.Start())
        return 1;
    while (repair.GetProgress() < 1.0f)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    repair.Stop();
    if (server.Others() != 0) {
        std::fprintf(stderr, "the check fetched %d files again\n", server.Others());
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string mode = argc >= 3 ? argv[1] : "";
    if (mode == "generate")
        return Generate(argv[2], argc >= 4 ? std::strtoull(argv[3], nullptr, 10) : 2048,
                        argc >= 5 ? std::atoi(argv[4]) : 2000);
    if (mode == "check")
        return Check(argv[2], argc >= 4 ? static_cast<unsigned>(std::atoi(argv[3])) : 0);
    if (mode == "drop")
        return Drop(argv[2]);
    std::fprintf(stderr, "usage: %s generate DIR [MIB] [FILES] | check DIR [READERS] | drop DIR\n", argv[0]);
    return 2;
}
