#pragma once

#include <cstdlib>
#include <string>

namespace station::test {

// Sets one environment variable and restores it when the scope ends.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            old_ = old;
            had_old_ = true;
        }
        setenv(name, value, 1);
    }
    ~ScopedEnv() {
        if (had_old_) {
            setenv(name_, old_.c_str(), 1);
        } else {
            unsetenv(name_);
        }
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    std::string old_;
    bool had_old_ = false;
};

}  // namespace station::test
