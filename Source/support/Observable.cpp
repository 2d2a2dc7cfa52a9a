#include "support/Observable.h"

#include <algorithm>
#include <atomic>
#include <set>

namespace vel {

struct Observation::Entry {
    std::string key;
    Observable::Handler handler;
    // Held while the handler runs, so that removal can wait for a call in
    // progress on another thread; recursive so that a handler may remove
    // its own registration.
    std::recursive_mutex callMutex;
    bool removed = false;
};

struct Observation::Registry {
    std::mutex mutex;
    std::vector<std::shared_ptr<Entry>> entries;
    std::map<std::string, std::vector<std::string>> dependents;  // base key -> derived keys
    std::atomic<std::size_t> observerCount{0};

    void remove(const std::shared_ptr<Entry>& entry)
    {
        std::lock_guard lock(mutex);
        entries.erase(std::remove(entries.begin(), entries.end(), entry), entries.end());
        observerCount.store(entries.size(), std::memory_order_release);
    }
};

Observation::Observation(std::weak_ptr<Registry> registry, std::shared_ptr<Entry> entry)
    : registry_(std::move(registry)), entry_(std::move(entry))
{
}

Observation::~Observation()
{
    reset();
}

Observation::Observation(Observation&& other) noexcept
    : registry_(std::move(other.registry_)), entry_(std::move(other.entry_))
{
}

Observation& Observation::operator=(Observation&& other) noexcept
{
    if (this != &other) {
        reset();
        registry_ = std::move(other.registry_);
        entry_ = std::move(other.entry_);
    }
    return *this;
}

void Observation::reset()
{
    if (!entry_) {
        return;
    }
    {
        std::lock_guard lock(entry_->callMutex);
        entry_->removed = true;
    }
    if (auto registry = registry_.lock()) {
        registry->remove(entry_);
    }
    entry_.reset();
    registry_.reset();
}

Observable::Observable() : registry_(std::make_shared<Observation::Registry>()) {}

Observable::~Observable() = default;

Observation Observable::addObserver(const std::string& key, Handler handler)
{
    auto entry = std::make_shared<Observation::Entry>();
    entry->key = key;
    entry->handler = std::move(handler);
    {
        std::lock_guard lock(registry_->mutex);
        registry_->entries.push_back(entry);
        registry_->observerCount.store(registry_->entries.size(), std::memory_order_release);
    }
    return Observation(registry_, entry);
}

void Observable::declareDependentKey(const std::string& derivedKey, const std::string& baseKey)
{
    std::lock_guard lock(registry_->mutex);
    registry_->dependents[baseKey].push_back(derivedKey);
}

void Observable::willChangeValueForKey(const std::string& key)
{
    notify(Change{key, ChangeKind::Setting, {}, true});
}

void Observable::didChangeValueForKey(const std::string& key)
{
    notify(Change{key, ChangeKind::Setting, {}, false});
}

void Observable::willChange(ChangeKind kind, const std::vector<std::size_t>& indexes, const std::string& key)
{
    notify(Change{key, kind, indexes, true});
}

void Observable::didChange(ChangeKind kind, const std::vector<std::size_t>& indexes, const std::string& key)
{
    notify(Change{key, kind, indexes, false});
}

void Observable::notify(const Change& change)
{
    // Most changes have nobody watching (a packet buffer takes one per
    // received byte): skip the bookkeeping then.
    if (registry_->observerCount.load(std::memory_order_acquire) == 0) {
        return;
    }
    std::vector<std::pair<std::string, std::shared_ptr<Observation::Entry>>> targets;
    {
        std::lock_guard lock(registry_->mutex);
        // The key itself, then every key that follows it, transitively.
        std::vector<std::string> keys{change.key};
        std::set<std::string> seen{change.key};
        for (std::size_t i = 0; i < keys.size(); ++i) {
            auto it = registry_->dependents.find(keys[i]);
            if (it == registry_->dependents.end()) {
                continue;
            }
            for (const auto& derived : it->second) {
                if (seen.insert(derived).second) {
                    keys.push_back(derived);
                }
            }
        }
        for (const auto& key : keys) {
            for (const auto& entry : registry_->entries) {
                if (entry->key == key) {
                    targets.emplace_back(key, entry);
                }
            }
        }
    }
    // Handlers run outside the registry's lock so that they may add or remove
    // observers.
    for (const auto& [key, entry] : targets) {
        std::lock_guard lock(entry->callMutex);
        if (entry->removed) {
            continue;
        }
        Change told = change;
        if (key != change.key) {
            // A derived key is told of a plain change, without the base key's indexes.
            told.key = key;
            told.kind = ChangeKind::Setting;
            told.indexes.clear();
        }
        entry->handler(told);
    }
}

}  // namespace vel
