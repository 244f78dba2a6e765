// Test double of a style plugin that another account plants for the window:
// loading it runs its constructor, which appends the effective uid it runs
// with to $NOMVERA_PLANTED_RECORD, so a test can see that it ran.
#include <QStylePlugin>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {

__attribute__((constructor)) void RecordLoad() {
    const char* record = std::getenv("NOMVERA_PLANTED_RECORD");
    if (record == nullptr) {
        return;
    }
    if (std::FILE* out = std::fopen(record, "a")) {
        std::fprintf(out, "style plugin loaded with euid %u\n", static_cast<unsigned>(geteuid()));
        std::fclose(out);
    }
}

} // namespace

class TPlantedStyle : public QStylePlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QStyleFactoryInterface_iid FILE "planted_style.json")
public:
    QStyle* create(const QString&) override { return nullptr; }
};

#include "planted_style.moc"
