// Sets (or, with nullopt, removes) an environment variable while the object
// lives, and puts the old value back afterwards.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>

namespace nomvera::test {

class TScopedEnvironment {
public:
    TScopedEnvironment(std::string name, const std::optional<std::string>& value)
        : name_(std::move(name)) {
        if (const char* old = std::getenv(name_.c_str())) {
            previous_ = old;
        }
        Set(value);
    }
    ~TScopedEnvironment() { Set(previous_); }
    TScopedEnvironment(const TScopedEnvironment&) = delete;
    TScopedEnvironment& operator=(const TScopedEnvironment&) = delete;

private:
    void Set(const std::optional<std::string>& value) const {
#if defined(_WIN32)
        _putenv_s(name_.c_str(), value ? value->c_str() : ""); // "" removes it
#else
        value ? setenv(name_.c_str(), value->c_str(), 1) : unsetenv(name_.c_str());
#endif
    }

    std::string name_;
    std::optional<std::string> previous_;
};

} // namespace nomvera::test
