// Test support for the installation steps.
#include "install_test_support.h"

#include "platform/posix/machine.h"

namespace installtest {

PackageMachine::PackageMachine(const std::string& drives) : m_machine(drives) {
    auto view = std::make_unique<RecordingView>();
    m_view = view.get();
    ui::SetView(std::move(view));
    m_machine.WriteHostFile(m_machine.Host("D:\\Pkg\\mivo"), "");
    platform::posix::OverrideModulePath("D:\\Pkg\\mivo");
}

PackageMachine::~PackageMachine() {
    platform::posix::OverrideModulePath("");
    ui::SetView(nullptr);
}

void PackageMachine::BuildBaseData(int ordinal, int examKind, const std::vector<int>& levels,
                                   bool withDatabases,
                                   const std::vector<package::Examinee>& examinees) {
    std::string problem;
    ASSERT_TRUE(package::BuildBaseData(PackageFolder(), ordinal, examKind, levels, withDatabases,
                                       examinees, problem))
        << problem;
}

}  // namespace installtest
