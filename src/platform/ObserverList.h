#pragma once

#include <QtGlobal>

#include <cstdint>
#include <map>
#include <utility>
#include <vector>

// Observers under the tokens handed out for them. Tokens are never reused,
// so removing a stale or unknown one does nothing.
template <typename Observer> class ObserverList {
public:
    using Token = std::uint64_t;

    Token add(Observer observer) {
        const Token token = m_nextToken++;
        m_observers.emplace(token, std::move(observer));
        return token;
    }
    // Whether the token was registered.
    bool remove(Token token) { return m_observers.erase(token) > 0; }
    bool isEmpty() const { return m_observers.empty(); }
    qsizetype size() const { return qsizetype(m_observers.size()); }

    // Calls every observer registered when the call began and not removed
    // since. Observers may add and remove observers, themselves included.
    template <typename... Args> void notify(Args&&... args) {
        std::vector<Token> tokens;
        tokens.reserve(m_observers.size());
        for (const auto& entry : m_observers)
            tokens.push_back(entry.first);
        for (const Token token : tokens) {
            const auto it = m_observers.find(token);
            if (it == m_observers.end())
                continue;
            // A copy: removing itself must not destroy the running observer.
            Observer observer = it->second;
            observer(args...);
        }
    }

private:
    std::map<Token, Observer> m_observers;
    Token m_nextToken = 1;
};
