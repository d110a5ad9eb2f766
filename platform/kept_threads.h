// The helper threads of a render's teams, started once and asleep between teams. A depth render
// runs some fifty short stages in turn, each on a team of its own; starting and joining a thread
// for each cost more than a stage's work on a small band of rows, and a freshly started thread
// joined only after the calling thread had done much of the stage alone.
//
// Teams run on kept threads while a TeamHelpers lends them to the thread that starts the teams
// (see run_team in parallel_rows.h). A team started while the kept threads are at work, or on
// another thread, starts threads of its own as before. Kept threads sleep between teams, so they
// take no core from anything else.
#ifndef QB_PLATFORM_KEPT_THREADS_H
#define QB_PLATFORM_KEPT_THREADS_H

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

namespace platform {

class KeptThreads {
  public:
    KeptThreads() = default;
    // Wakes the kept threads to end them, and joins them.
    ~KeptThreads();
    KeptThreads(const KeptThreads&) = delete;
    KeptThreads& operator=(const KeptThreads&) = delete;

    // The calling thread's kept threads when they are free for a team, or null.
    static KeptThreads* available() noexcept;

    // Makes sure up to `helpers` threads are kept, starting the missing ones; a thread the
    // system refuses to start is not kept. Returns how many are kept, at most `helpers`.
    int ready(int helpers) noexcept;

    // Calls member(thread) for thread 1 .. members - 1 on the kept threads and member(0) on the
    // calling thread, and returns once every call has returned. `members` is at most one more
    // than ready() returned.
    template <class Member>
    void run(int members, Member& member) {
        run_job(Job{&call<Member>, &member}, members);
    }

  private:
    struct Job {
        void (*call)(void* member, int thread);
        void* member;
    };

    template <class Member>
    static void call(void* member, int thread) {
        (*static_cast<Member*>(member))(thread);
    }

    void run_job(Job job, int members);
    // A kept thread's life: each generation, its member's call when the job has one, then its
    // arrival.
    void serve(int thread, uint32_t generation);

    std::vector<std::thread> threads_;
    bool busy_ = false;
    // Set before a generation is announced and read after it is seen.
    Job job_{};
    int members_ = 0;
    bool ending_ = false;
    std::atomic<uint32_t> generation_{0};
    std::atomic<int> unfinished_{0};
};

// While it lives, the teams the calling thread starts run on kept threads: its own, which end
// with it, or threads the caller lends so that they serve one render after another (a thread
// started and joined for every render cost a depth render on two threads 0.5 ms). Lent threads
// serve one calling thread at a time.
class TeamHelpers {
  public:
    TeamHelpers() noexcept : TeamHelpers(nullptr) {}
    // Null `lent`: the helpers' own threads.
    explicit TeamHelpers(KeptThreads* lent) noexcept;
    ~TeamHelpers();
    TeamHelpers(const TeamHelpers&) = delete;
    TeamHelpers& operator=(const TeamHelpers&) = delete;

    KeptThreads& threads() { return *threads_; }

  private:
    KeptThreads own_;
    KeptThreads* threads_;
    KeptThreads* outer_;  // the threads these stand in for on the calling thread
};

}  // namespace platform

#endif
