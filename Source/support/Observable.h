#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace vel {

enum class ChangeKind { Setting, Insertion, Removal, Replacement };

// What an observer is told: the key, whether this is the notice before the
// change (isPrior) or after it, and for list keys which indexes changed.
struct Change {
    std::string key;
    ChangeKind kind = ChangeKind::Setting;
    std::vector<std::size_t> indexes;
    bool isPrior = false;
};

class Observable;

// An observer's registration; destroying it removes the observer. It may
// outlive the observed object.
class Observation {
public:
    Observation() = default;
    ~Observation();
    Observation(Observation&&) noexcept;
    Observation& operator=(Observation&&) noexcept;
    Observation(const Observation&) = delete;
    Observation& operator=(const Observation&) = delete;

    void reset();
    explicit operator bool() const { return static_cast<bool>(entry_); }

private:
    friend class Observable;
    struct Entry;
    struct Registry;
    Observation(std::weak_ptr<Registry> registry, std::shared_ptr<Entry> entry);
    std::weak_ptr<Registry> registry_;
    std::shared_ptr<Entry> entry_;
};

// Base for objects with observable properties. Observers of a key are told
// before and after each change, on the thread that makes it; a derived key
// is told whenever the key it follows changes ("isOpen" follows
// "fileDescriptor"); list keys say which indexes were inserted or removed.
class Observable {
public:
    using Handler = std::function<void(const Change&)>;

    Observable();
    virtual ~Observable();
    Observable(const Observable&) = delete;
    Observable& operator=(const Observable&) = delete;

    [[nodiscard]] Observation addObserver(const std::string& key, Handler handler);

protected:
    // `derivedKey` changes whenever `baseKey` does.
    void declareDependentKey(const std::string& derivedKey, const std::string& baseKey);

    void willChangeValueForKey(const std::string& key);
    void didChangeValueForKey(const std::string& key);
    void willChange(ChangeKind kind, const std::vector<std::size_t>& indexes, const std::string& key);
    void didChange(ChangeKind kind, const std::vector<std::size_t>& indexes, const std::string& key);

private:
    void notify(const Change& change);
    std::shared_ptr<Observation::Registry> registry_;
};

}  // namespace vel
