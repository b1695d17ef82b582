// Sets the LANG environment variable for one scope (null unsets it) and restores it after.
#pragma once

#include <cstdlib>
#include <string>

class LangScope {
public:
    explicit LangScope(const char* value) {
        const char* old = std::getenv("LANG");
        mHad = old != nullptr;
        if (old) mOld = old;
        if (value)
            setenv("LANG", value, 1);
        else
            unsetenv("LANG");
    }
    ~LangScope() {
        if (mHad)
            setenv("LANG", mOld.c_str(), 1);
        else
            unsetenv("LANG");
    }
    LangScope(const LangScope&) = delete;
    LangScope& operator=(const LangScope&) = delete;

private:
    bool mHad;
    std::string mOld;
};
