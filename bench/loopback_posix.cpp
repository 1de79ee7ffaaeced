// The receiver benchmarks' sockets and thread counters on Linux: plain blocking sockets, and the
// numbers the kernel keeps per thread in /proc.
#include "bench/loopback.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include <dirent.h>
#include <netinet/in.h>
#include <pthread.h>
#include <sched.h>
#include <sys/uio.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

sockaddr_in loopback_address(uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return address;
}

}  // namespace

int open_loopback_sender() {
    return socket(AF_INET, SOCK_DGRAM, 0);
}

void close_loopback_sender(int sender) {
    close(sender);
}

bool send_loopback(int sender, uint16_t port, const char* bytes, size_t length) {
    const sockaddr_in to = loopback_address(port);
    return sendto(sender, bytes, length, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to) ==
           static_cast<ssize_t>(length);
}

void send_burst(int sender, uint16_t port, const std::vector<std::string>& texts) {
    sockaddr_in to = loopback_address(port);
    constexpr size_t kBatch = 64;
    mmsghdr messages[kBatch];
    iovec parts[kBatch];
    for (size_t start = 0; start < texts.size(); start += kBatch) {
        const size_t count = std::min(kBatch, texts.size() - start);
        for (size_t k = 0; k < count; ++k) {
            const std::string& text = texts[start + k];
            parts[k] = iovec{const_cast<char*>(text.data()), text.size()};
            messages[k] = mmsghdr{};
            messages[k].msg_hdr.msg_name = &to;
            messages[k].msg_hdr.msg_namelen = sizeof to;
            messages[k].msg_hdr.msg_iov = &parts[k];
            messages[k].msg_hdr.msg_iovlen = 1;
        }
        size_t sent = 0;
        while (sent < count) {
            const int now_sent = sendmmsg(sender, messages + sent, count - sent, 0);
            if (now_sent <= 0) {
                break;
            }
            sent += static_cast<size_t>(now_sent);
        }
    }
}

long udp_queue_drops() {
    FILE* table = std::fopen("/proc/net/snmp", "r");
    if (table == nullptr) {
        return 0;
    }
    // Two "Udp:" lines: the field names, then their values.
    char names[512] = "";
    char line[512];
    long drops = 0;
    while (std::fgets(line, sizeof line, table) != nullptr) {
        if (std::strncmp(line, "Udp: ", 5) != 0) {
            continue;
        }
        if (names[0] == '\0') {
            std::strcpy(names, line);
            continue;
        }
        // The value in the column whose name is RcvbufErrors.
        char* name_state = nullptr;
        char* value_state = nullptr;
        char* name = strtok_r(names, " \n", &name_state);
        char* value = strtok_r(line, " \n", &value_state);
        while (name != nullptr && value != nullptr) {
            if (std::strcmp(name, "RcvbufErrors") == 0) {
                drops = std::atol(value);
            }
            name = strtok_r(nullptr, " \n", &name_state);
            value = strtok_r(nullptr, " \n", &value_state);
        }
        break;
    }
    std::fclose(table);
    return drops;
}

uint16_t free_loopback_port() {
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in local = loopback_address(0);
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    socklen_t length = sizeof local;
    uint16_t port = 0;
    if (fd >= 0 && bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) == 0) {
        port = ntohs(local.sin_port);
    }
    if (fd >= 0) {
        close(fd);
    }
    return port;
}

int receive_buffer_bytes(NetSocket socket) {
    int bytes = 0;
    socklen_t length = sizeof bytes;
    getsockopt(static_cast<int>(socket), SOL_SOCKET, SO_RCVBUF, &bytes, &length);
    return bytes;
}

long bare_receive(NetSocket socket, const std::atomic<bool>& sender_done, int quiet_ms,
                  void (*on_datagram)(const char* bytes, size_t length)) {
    const int fd = static_cast<int>(socket);
    timeval quiet{quiet_ms / 1000, (quiet_ms % 1000) * 1000};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &quiet, sizeof quiet);
    char buffer[2048];
    long count = 0;
    for (;;) {
        const ssize_t got = recv(fd, buffer, sizeof buffer, 0);
        if (got >= 0) {
            ++count;
            if (on_datagram != nullptr) {
                on_datagram(buffer, static_cast<size_t>(got));
            }
        } else if (errno != EINTR && sender_done.load()) {
            return count;
        }
    }
}

namespace {

const cpu_set_t& usable_set() {
    static const cpu_set_t usable = [] {
        cpu_set_t set;
        CPU_ZERO(&set);
        sched_getaffinity(0, sizeof set, &set);
        return set;
    }();
    return usable;
}

}  // namespace

std::vector<int> usable_processors() {
    std::vector<int> processors;
    for (int k = 0; k < CPU_SETSIZE; ++k) {
        if (CPU_ISSET(k, &usable_set())) {
            processors.push_back(k);
        }
    }
    return processors;
}

int current_processor() {
    return sched_getcpu();
}

bool pin_to_processor(int processor) {
    usable_set();  // taken before the first pin narrows it
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(processor, &one);
    return processor >= 0 && sched_setaffinity(0, sizeof one, &one) == 0;
}

void unpin_processor() {
    sched_setaffinity(0, sizeof(cpu_set_t), &usable_set());
}

std::vector<int> thread_ids() {
    std::vector<int> ids;
    DIR* tasks = opendir("/proc/self/task");
    if (tasks == nullptr) {
        return ids;
    }
    while (const dirent* entry = readdir(tasks)) {
        if (entry->d_name[0] != '.') {
            ids.push_back(std::atoi(entry->d_name));
        }
    }
    closedir(tasks);
    return ids;
}

ThreadUsage thread_usage(std::thread& thread, int thread_id) {
    ThreadUsage usage{0.0, -1};
    clockid_t clock;
    timespec spent{};
    if (pthread_getcpuclockid(thread.native_handle(), &clock) == 0 &&
        clock_gettime(clock, &spent) == 0) {
        usage.cpu_seconds = static_cast<double>(spent.tv_sec) + spent.tv_nsec * 1e-9;
    }
    char path[64];
    std::snprintf(path, sizeof path, "/proc/self/task/%d/status", thread_id);
    if (FILE* status = std::fopen(path, "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, status) != nullptr) {
            std::sscanf(line, "voluntary_ctxt_switches: %ld", &usage.voluntary_switches);
        }
        std::fclose(status);
    }
    return usage;
}
