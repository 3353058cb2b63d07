// The tpk commands. Each takes the arguments after its own name and returns
// the process status: 0 success, 1 failure, 2 usage error.
#pragma once

#include <string>
#include <vector>

namespace tpk {

int runBuild(const std::vector<std::string>& args);
int runBundle(const std::vector<std::string>& args);
int runSign(const std::vector<std::string>& args);
int runKeygen(const std::vector<std::string>& args);
int runDigest(const std::vector<std::string>& args);
int runInfo(const std::vector<std::string>& args);
int runContents(const std::vector<std::string>& args);
int runVerify(const std::vector<std::string>& args);
int runPlan(const std::vector<std::string>& args);

}  // namespace tpk
