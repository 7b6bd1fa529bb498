#pragma once
#include <string>
#include <sys/types.h>
#include <vector>

// The demo publisher as a real process on 127.0.0.1 for one test: its data,
// log and port file in the given folder. Killed at destruction if still running.
class PublisherProcess {
public:
    static std::string Program();  // the built demo-publisher
    static std::string QuorReg();  // the built quor-reg

    // Starts it with the extra options and waits for its port file.
    PublisherProcess(const std::string& folder, const std::vector<std::string>& options = {});
    ~PublisherProcess();
    PublisherProcess(const PublisherProcess&) = delete;
    PublisherProcess& operator=(const PublisherProcess&) = delete;

    bool Ready() const { return port > 0; }
    int Port() const { return port; }
    std::string Base() const { return "http://127.0.0.1:" + std::to_string(port); }
    std::string DataFolder() const { return folder + "/data"; }
    std::string RecordFolder() const { return folder + "/data/records"; }
    std::string LogFile() const { return folder + "/requests.log"; }
    std::vector<std::string> LogLines() const;

    struct Reply {
        int status = 0;
        std::string body;
        std::string contentRange;
    };
    Reply Get(const std::string& target, const std::string& range = "") const;
    Reply Post(const std::string& target) const;

    // SIGTERM, then its exit status (128 + signal when killed); its output.
    int Stop();
    std::string Output() const;

private:
    std::string folder;
    pid_t pid = -1;
    int port = -1;
    int exitStatus = -1;  // once it has ended
};
