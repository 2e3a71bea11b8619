#include <grp.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>
#include <vector>

#include "test_support.h"

namespace sigilflip::testing {

std::string InChild(const std::function<std::string()>& body) {
  int out[2];
  if (pipe(out) != 0) {
    return "no pipe";
  }
  const pid_t child = fork();
  if (child == 0) {
    close(out[0]);
    std::string result;
    try {
      result = body();
    } catch (const std::exception& error) {
      result = std::string("child: ") + error.what();
    }
    (void)!write(out[1], result.data(), result.size());
    _exit(0);
  }
  close(out[1]);
  std::string result;
  char buffer[4096];
  for (ssize_t count; (count = read(out[0], buffer, sizeof(buffer))) > 0;) {
    result.append(buffer, static_cast<std::size_t>(count));
  }
  close(out[0]);
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
      WEXITSTATUS(status) != 0) {
    return "the child failed: " + result;
  }
  return result;
}

std::string PressedBy(const std::optional<User>& user, const std::function<std::string()>& body) {
  if (!user) {
    return body();
  }
  return InChild([&] {
    const std::vector<gid_t> groups(user->groups.begin(), user->groups.end());
    if (setgroups(groups.size(), groups.data()) != 0 || setgid(groups[0]) != 0 ||
        setuid(user->uid) != 0) {
      throw std::runtime_error("cannot become user " + std::to_string(user->uid));
    }
    return body();
  });
}

void WithoutProc() {
  if (unshare(CLONE_NEWNS) != 0 ||
      mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
      umount2("/proc", MNT_DETACH) != 0) {
    throw std::runtime_error("cannot unmount /proc here");
  }
}

}  // namespace sigilflip::testing
