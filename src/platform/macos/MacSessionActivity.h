#pragma once

#include "platform/SessionActivity.h"

#include <memory>

// A process activity against App Nap, held from begin() to end() or to the
// object's end. Pure C++ header; the Objective-C++ lives in the .mm.
class MacSessionActivity : public SessionActivity {
public:
    MacSessionActivity();
    ~MacSessionActivity() override;

    void begin() override;
    void end() override;

private:
    struct Token;
    std::unique_ptr<Token> m_token;
};
