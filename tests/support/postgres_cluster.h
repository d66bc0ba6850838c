#pragma once

#include <pwd.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/temp_dir.h"

namespace station::test {

// A throwaway PostgreSQL 15 cluster in a folder of its own, reached through a Unix socket in
// that folder only, so no port is shared with anything. The server refuses to run as root: a
// test run as root starts it as the unprivileged user "nobody".
class PostgresCluster {
public:
    // In a folder of its own under `parent`.
    explicit PostgresCluster(const std::string& parent = "/tmp") : dir_(parent) {
        GiveFolderToServer();
        if (!Run({kBin + "initdb", "-D", Data(), "-A", "trust", "-U", "postgres", "--no-sync", "-E",
                  "UTF8", "--locale=C"})) {
            throw std::runtime_error("initdb failed: " + ReadFile(dir_ / "cluster.log"));
        }
        Start();
    }
    // A standby of `primary`, copied from a base backup of it and streaming from it
    // asynchronously, as a plant's replica does.
    struct StandbyOf {
        const PostgresCluster& primary;
        std::string parent = "/tmp";
    };
    explicit PostgresCluster(StandbyOf standby) : dir_(standby.parent) {
        GiveFolderToServer();
        CopyFrom(standby.primary);
        Start();
    }
    // A server that died, back as a standby of `primary`, which took over meanwhile: its own data
    // thrown away and copied anew, in the same folder (the URLs that name it still do).
    void RejoinAsStandbyOf(const PostgresCluster& primary) {
        Kill();
        Run({"rm", "-rf", Data()});
        CopyFrom(primary);
        Start();
    }
    ~PostgresCluster() { Stop(); }
    PostgresCluster(const PostgresCluster&) = delete;
    PostgresCluster& operator=(const PostgresCluster&) = delete;

    // Waits until the server accepts connections; throws when it does not.
    void Start() {
        if (!Run({kBin + "pg_ctl", "-D", Data(), "-w", "-l", dir_ / "server.log", "-o",
                  "-k " + dir_.Path() + " -c listen_addresses= -c max_connections=20", "start"})) {
            throw std::runtime_error("pg_ctl start failed: " + ReadFile(dir_ / "server.log"));
        }
    }
    void Stop() { Run({kBin + "pg_ctl", "-D", Data(), "-w", "-m", "fast", "stop"}); }
    // As a server dies: no checkpoint, nothing more sent to a standby.
    void Kill() { Run({kBin + "pg_ctl", "-D", Data(), "-w", "-m", "immediate", "stop"}); }
    bool Running() const { return Run({kBin + "pg_ctl", "-D", Data(), "status"}); }
    // A standby made the primary; waits until it takes writes.
    void Promote() {
        if (!Run({kBin + "pg_ctl", "-D", Data(), "-w", "promote"})) {
            throw std::runtime_error("pg_ctl promote failed: " + ReadFile(dir_ / "cluster.log"));
        }
    }

    // Where its socket is: the host a URL names for it.
    std::string SocketFolder() const { return dir_.Path(); }

    std::string Url(const std::string& database = "postgres",
                    const std::string& user = "postgres") const {
        return "postgresql:///" + database + "?host=" + dir_.Path() + "&user=" + user;
    }

    // A role that logs in only with `password`; the others keep logging in without one.
    void AddPasswordRole(const std::string& role, const std::string& password) {
        const std::string hba = Data() + "/pg_hba.conf";
        WriteFile(hba, "local all " + role + " scram-sha-256\n" + ReadFile(hba));
        if (!Run({kBin + "psql", "-h", dir_.Path(), "-U", "postgres", "-d", "postgres", "-c",
                  "CREATE ROLE " + role + " LOGIN PASSWORD '" + password + "'"}) ||
            !Run({kBin + "pg_ctl", "-D", Data(), "reload"})) {
            throw std::runtime_error("cannot add role " + role + ": " +
                                     ReadFile(dir_ / "cluster.log"));
        }
    }

private:
    inline static const std::string kBin = "/usr/lib/postgresql/15/bin/";

    void CopyFrom(const PostgresCluster& primary) {
        if (!Run({kBin + "pg_basebackup", "-h", primary.SocketFolder(), "-U", "postgres", "-D",
                  Data(), "-R", "--no-sync"})) {
            throw std::runtime_error("pg_basebackup failed: " + ReadFile(dir_ / "cluster.log"));
        }
    }

    void GiveFolderToServer() {
        if (::getuid() == 0) {
            const passwd* nobody = ::getpwnam("nobody");
            if (nobody == nullptr ||
                ::chown(dir_.Path().c_str(), nobody->pw_uid, nobody->pw_gid) != 0) {
                throw std::runtime_error("cannot give the cluster's folder to nobody");
            }
        }
    }

    std::string Data() const { return dir_ / "data"; }

    bool Run(std::vector<std::string> arguments) const {
        if (::getuid() == 0) {
            arguments.insert(arguments.begin(), {"runuser", "-u", "nobody", "--"});
        }
        return RunToEnd(arguments, dir_ / "cluster.log");
    }

    TempDir dir_;
};

}  // namespace station::test
