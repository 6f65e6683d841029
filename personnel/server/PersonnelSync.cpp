#include "personnel/server/PersonnelSync.h"

#include "personnel/server/PersonnelCache.h"
#include "personnel/server/PersonnelServer.h"
#include "personnel/server/SocketWaiter.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <set>
#include <thread>

namespace pelvaro {

namespace {

using namespace std::chrono_literals;

constexpr auto kFirstPause = 1s;
constexpr auto kLongestPause = 30s;
// Announcements are waited for without end; the wait wakes now and then all
// the same, so a connection that broke silently is noticed by libpq.
constexpr auto kQuietWait = 10s;
// More announced cards than this at once (an import) are read as a whole table.
constexpr size_t kCardsReadOneByOne = 100;

} // namespace

struct PersonnelSync::Worker {
    Worker(std::shared_ptr<const PqLibrary> pq, std::shared_ptr<const SqliteLibrary> sqlite,
           Settings settings)
        : pq(std::move(pq)), sqlite(std::move(sqlite)), settings(std::move(settings)) {}

    void run();
    // False when the connection broke or the cache could not be written; the
    // state says why.
    bool serve(PersonnelServer& server, PersonnelCache& cache);
    bool fill(PersonnelServer& server, PersonnelCache& cache);
    bool applyAnnounced(PersonnelServer& server, PersonnelCache& cache);
    // Waits for a wake-up (stop, catch up) or the time.
    void pause(std::chrono::milliseconds length) { waiter.wait(-1, length); }
    // The listener hears of every write to the cache, and of other news once.
    void publish(PersonnelSyncState next, bool cacheWritten);
    void written(PersonnelCache& cache) { publish({true, cache.asOf(), {}}, true); }
    void fail(const std::string& problem) { publish({false, current().cacheAsOf, problem}, false); }
    PersonnelSyncState current() const {
        std::lock_guard lock(mutex);
        return state;
    }

    const std::shared_ptr<const PqLibrary> pq;
    const std::shared_ptr<const SqliteLibrary> sqlite;
    const Settings settings;
    SocketWaiter waiter;
    std::atomic<bool> stopping{false};
    std::atomic<bool> catchUpAsked{false};
    mutable std::mutex mutex; // guards state and listener
    PersonnelSyncState state;
    std::function<void(const PersonnelSyncState&)> listener;
    std::thread thread;
};

void PersonnelSync::Worker::run() {
    std::string problem;
    std::unique_ptr<PersonnelCache> cache;
    for (auto wait = std::chrono::milliseconds(kFirstPause); !stopping;
         wait = std::min<std::chrono::milliseconds>(wait * 2, kLongestPause)) {
        if (!cache && (cache = PersonnelCache::open(sqlite, settings.cacheFile, problem)))
            publish({false, cache->asOf(), {}}, false);
        if (cache) {
            PersonnelServer server(pq, settings.uri, settings.station);
            if (serve(server, *cache))
                wait = kFirstPause; // it was connected: the next try comes soon
        } else {
            fail(problem);
        }
        if (!stopping)
            pause(wait);
    }
}

bool PersonnelSync::Worker::serve(PersonnelServer& server, PersonnelCache& cache) {
    ServerResult result = server.connect();
    if (result.ok())
        result = server.listen();
    if (!result.ok()) {
        fail(result.message);
        return false;
    }
    // LISTEN before the fill: nothing changed in between goes unannounced.
    if (!fill(server, cache))
        return false;
    while (!stopping) {
        const SocketWaiter::Event event = waiter.wait(server.socket(), kQuietWait);
        if (stopping)
            break;
        if (catchUpAsked.exchange(false)) {
            if (!fill(server, cache))
                return true;
        } else if (event != SocketWaiter::Event::Woken && !applyAnnounced(server, cache)) {
            return true;
        }
    }
    return true;
}

bool PersonnelSync::Worker::fill(PersonnelServer& server, PersonnelCache& cache) {
    catchUpAsked = false;
    ServerResult result;
    const auto rows = server.readAll(result);
    if (!rows) {
        fail(result.message);
        return false;
    }
    if (const std::string problem = cache.fill(*rows); !problem.empty()) {
        fail(problem);
        return false;
    }
    written(cache);
    return true;
}

bool PersonnelSync::Worker::applyAnnounced(PersonnelServer& server, PersonnelCache& cache) {
    ServerResult result;
    const std::vector<std::string> announced = server.takeAnnouncements(result);
    if (!result.ok()) {
        fail(result.message);
        return false;
    }
    if (announced.empty())
        return true;
    const std::set<std::string> cards(announced.begin(), announced.end());
    // An empty card code: the whole table may have changed.
    if (cards.contains("") || cards.size() > kCardsReadOneByOne)
        return fill(server, cache);
    for (const std::string& card : cards) {
        const auto row = server.find(card, result);
        if (!result.ok()) {
            fail(result.message);
            return false;
        }
        if (const std::string problem = cache.apply(card, row); !problem.empty()) {
            fail(problem);
            return false;
        }
    }
    written(cache);
    return true;
}

void PersonnelSync::Worker::publish(PersonnelSyncState next, bool cacheWritten) {
    std::function<void(const PersonnelSyncState&)> tell;
    {
        std::lock_guard lock(mutex);
        if (next == state && !cacheWritten)
            return;
        state = next;
        tell = listener;
    }
    if (tell)
        tell(next);
}

PersonnelSync::PersonnelSync(std::shared_ptr<const PqLibrary> pq,
                             std::shared_ptr<const SqliteLibrary> sqlite, Settings settings)
    : worker_(std::make_unique<Worker>(std::move(pq), std::move(sqlite), std::move(settings))) {}

PersonnelSync::~PersonnelSync() {
    worker_->stopping = true;
    worker_->waiter.wake();
    if (worker_->thread.joinable())
        worker_->thread.join();
}

void PersonnelSync::start() {
    if (!worker_->thread.joinable())
        worker_->thread = std::thread([worker = worker_.get()] { worker->run(); });
}

PersonnelSyncState PersonnelSync::state() const {
    return worker_->current();
}

void PersonnelSync::setListener(std::function<void(const PersonnelSyncState&)> listener) {
    std::lock_guard lock(worker_->mutex);
    worker_->listener = std::move(listener);
}

void PersonnelSync::catchUp() {
    worker_->catchUpAsked = true;
    worker_->waiter.wake();
}

} // namespace pelvaro
