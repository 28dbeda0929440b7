#include "platform/macos/MacSessionActivity.h"

#import <Foundation/Foundation.h>

struct MacSessionActivity::Token {
    id<NSObject> activity = nil;
};

MacSessionActivity::MacSessionActivity() = default;

MacSessionActivity::~MacSessionActivity() {
    end();
}

void MacSessionActivity::begin() {
    if (m_token)
        return;
    // Idle sleep stays allowed: the session clock counts through sleep, and
    // a focus session is no reason to keep an unattended Mac awake.
    m_token = std::make_unique<Token>();
    @autoreleasepool {
        m_token->activity = [NSProcessInfo.processInfo
            beginActivityWithOptions:NSActivityUserInitiatedAllowingIdleSystemSleep |
                                     NSActivityLatencyCritical
                              reason:@"A focus session is running"];
    }
}

void MacSessionActivity::end() {
    if (!m_token)
        return;
    [NSProcessInfo.processInfo endActivity:m_token->activity];
    m_token.reset();
}
