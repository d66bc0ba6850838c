#pragma once

#include <cstdlib>
#include <ctime>
#include <string>

namespace station::test {

// Sets one environment variable and restores it when the scope ends. A change of TZ takes
// effect at once both ways.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            old_ = old;
            had_old_ = true;
        }
        setenv(name, value, 1);
        tzset();
    }
    ~ScopedEnv() {
        if (had_old_) {
            setenv(name_, old_.c_str(), 1);
        } else {
            unsetenv(name_);
        }
        tzset();
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    std::string old_;
    bool had_old_ = false;
};

}  // namespace station::test
