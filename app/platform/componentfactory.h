// The object factory: objects created by a ProgID "lib.Class" from lib<lib>.so (in the program folder, else in the
// installed private folder, else on the system library path), their members invoked by name. Every failure, a
// library that cannot be loaded, a member that does not exist, a call on an object that was never created, reaches
// the caller as a platform::Fault.
#pragma once

#include "platform/fault.h"

#include <QList>
#include <QString>
#include <QVariant>

#include <memory>

struct component_library;
struct component_object;

namespace platform {

// An argument of a call; a by-reference argument receives the member's new value.
struct ComponentArgument {
    QVariant value;
    bool byRef = false;
};

class ComponentObject {
public:
    ComponentObject() = default; // never created: every call faults

    QVariant call(const QString &method, const QVariantList &args = {});
    QVariant call(const QString &method, QList<ComponentArgument> &args);
    QVariant get(const QString &property);
    void set(const QString &property, const QVariant &value);

    bool isCreated() const { return instance_ != nullptr; }

private:
    friend class ComponentFactory;
    struct Instance;
    QVariant invoke(const QString &member, int kind, QList<ComponentArgument> &args);

    std::shared_ptr<Instance> instance_;
};

class ComponentFactory {
public:
    // programFolder: where libraries are looked for first.
    explicit ComponentFactory(QString programFolder);

    ComponentObject createObject(const QString &progId) const;

private:
    const component_library *load(const QString &libraryName, const QString &progId) const;

    QString programFolder_;
};

// The folder in which the program's own libraries are looked for first, and from which their installed private
// folder is found: the folder of the program's executable.
void setLibraryFolder(const QString &folder);
// That folder; the programs' other files of the installation (the counter maps) are found from it too.
QString libraryFolder();

// An object created by ProgID through a factory on that folder, as the program creates every component object.
ComponentObject CreateObject(const QString &progId);

} // namespace platform
