#include "componentfactory.h"

#include "eventpump.h"

#include "quorrel/component.h"

#include <QDir>
#include <QHash>
#include <QMutex>

#include <dlfcn.h>

namespace platform {
namespace {

constexpr int CannotCreateObject = 429;
constexpr int ObjectNotSet = 91;

void pumpTrampoline(void *) { pumpEvents(); }

// Libraries stay loaded for the life of the process: objects and worker threads of theirs may outlive any one
// factory, and unloading buys nothing.
QHash<QString, const component_library *> &loadedLibraries() {
    static QHash<QString, const component_library *> libraries;
    return libraries;
}
QMutex loadMutex;

component_value valueOf(const QVariant &value, QByteArray &storage) {
    component_value out{};
    if (!value.isValid() || value.isNull()) {
        out.kind = COMPONENT_MISSING;
    } else if (value.typeId() == QMetaType::QString || value.typeId() == QMetaType::QByteArray) {
        storage = value.toString().toUtf8();
        out.kind = COMPONENT_TEXT;
        out.text = storage.constData();
        out.length = static_cast<size_t>(storage.size());
    } else {
        bool numeric = false;
        out.number = value.toDouble(&numeric);
        if (!numeric) throw Fault(13, QStringLiteral("Type mismatch"));
        out.kind = COMPONENT_NUMBER;
    }
    return out;
}

QVariant variantOf(const component_value &value) {
    switch (value.kind) {
    case COMPONENT_TEXT: return QString::fromUtf8(value.text, static_cast<qsizetype>(value.length));
    case COMPONENT_NUMBER: return value.number;
    default: return {};
    }
}

} // namespace

// Owns one object of a library; the object is released with the last copy of the ComponentObject.
struct ComponentObject::Instance {
    Instance(const component_library *library, component_object *object) : library(library), object(object) {}
    Instance(const Instance &) = delete;
    Instance &operator=(const Instance &) = delete;
    ~Instance() { library->release(object); }

    const component_library *library;
    component_object *object;
};

QVariant ComponentObject::call(const QString &method, const QVariantList &args) {
    QList<ComponentArgument> arguments;
    for (const QVariant &value : args) arguments.append({value, false});
    return invoke(method, COMPONENT_METHOD, arguments);
}

QVariant ComponentObject::call(const QString &method, QList<ComponentArgument> &args) {
    return invoke(method, COMPONENT_METHOD, args);
}

QVariant ComponentObject::get(const QString &property) {
    QList<ComponentArgument> none;
    return invoke(property, COMPONENT_GET, none);
}

void ComponentObject::set(const QString &property, const QVariant &value) {
    QList<ComponentArgument> one{{value, false}};
    invoke(property, COMPONENT_PUT, one);
}

QVariant ComponentObject::invoke(const QString &member, int kind, QList<ComponentArgument> &args) {
    if (!instance_) throw Fault(ObjectNotSet, QStringLiteral("Object variable not set"));
    const component_library &library = *instance_->library;

    QList<QByteArray> storage(args.size());
    std::vector<component_value> values;
    for (qsizetype i = 0; i < args.size(); ++i) {
        values.push_back(valueOf(args[i].value, storage[i]));
        values.back().by_ref = args[i].byRef;
    }
    component_value result{};
    component_fault fault{};
    const QByteArray name = member.toUtf8();
    if (library.invoke(instance_->object, name.constData(), kind, values.data(), values.size(), &result, &fault) != 0)
        throw Fault(fault.number, QString::fromUtf8(fault.description));

    for (qsizetype i = 0; i < args.size(); ++i) {
        if (!values[i].owned) continue;
        args[i].value = variantOf(values[i]);
        library.free_value(&values[i]);
    }
    const QVariant answer = variantOf(result);
    library.free_value(&result);
    return answer;
}

ComponentFactory::ComponentFactory(QString programFolder) : programFolder_(std::move(programFolder)) {}

ComponentObject ComponentFactory::createObject(const QString &progId) const {
    const qsizetype dot = progId.indexOf(QLatin1Char('.'));
    if (dot <= 0 || dot == progId.size() - 1)
        throw Fault(CannotCreateObject, QStringLiteral("Cannot create object: invalid name ") + progId);
    const component_library *library = load(progId.left(dot).toLower(), progId);

    component_fault fault{};
    const QByteArray className = progId.mid(dot + 1).toUtf8();
    component_object *object = library->create(className.constData(), &fault);
    if (!object) throw Fault(fault.number, QString::fromUtf8(fault.description));
    ComponentObject created;
    created.instance_ = std::make_shared<ComponentObject::Instance>(library, object);
    return created;
}

namespace {
QString &folderOfLibraries() {
    static QString folder;
    return folder;
}
} // namespace

void setLibraryFolder(const QString &folder) { folderOfLibraries() = folder; }

QString libraryFolder() { return folderOfLibraries(); }

ComponentObject CreateObject(const QString &progId) { return ComponentFactory(libraryFolder()).createObject(progId); }

namespace {
// Where lib<name>.so is looked for, in order: the program folder (the build folder, a portable copy), the private
// folder of an installed copy at its place relative to the program folder (so an install under DESTDIR or a moved
// tree finds it too), then the system library path.
QStringList libraryCandidates(const QString &programFolder, const QString &fileName) {
    const QDir folder(programFolder);
    return {folder.absoluteFilePath(fileName),
            QDir::cleanPath(folder.absoluteFilePath(QStringLiteral(METERLANE_PRIVATE_LIBRARY_FOLDER "/") + fileName)),
            fileName};
}
} // namespace

const component_library *ComponentFactory::load(const QString &libraryName, const QString &progId) const {
    const QString fileName = QStringLiteral("lib%1.so").arg(libraryName);
    const QStringList candidates = libraryCandidates(programFolder_, fileName);

    QMutexLocker lock(&loadMutex);
    for (const QString &candidate : candidates)
        if (const auto *library = loadedLibraries().value(candidate)) return library;

    const auto fail = [&](const QString &why) {
        return Fault(CannotCreateObject, QStringLiteral("Cannot create object %1: %2").arg(progId, why));
    };
    void *handle = nullptr;
    QString loadedFrom;
    for (const QString &candidate : candidates) {
        if (QDir::isAbsolutePath(candidate) && !QFile::exists(candidate)) continue;
        handle = dlopen(candidate.toUtf8().constData(), RTLD_NOW | RTLD_LOCAL);
        if (handle) {
            loadedFrom = candidate;
            break;
        }
    }
    if (!handle) throw fail(QStringLiteral("%1 could not be loaded (%2)").arg(fileName, QString::fromUtf8(dlerror())));
    const auto entry = reinterpret_cast<component_entry_function>(dlsym(handle, COMPONENT_ENTRY_SYMBOL));
    const component_library *library = entry ? entry() : nullptr;
    if (!library || library->abi_version != COMPONENT_ABI_VERSION)
        throw fail(QStringLiteral("%1 is not a component library of this version").arg(fileName));
    library->set_event_pump(pumpTrampoline, nullptr);
    loadedLibraries().insert(loadedFrom, library);
    return library;
}

} // namespace platform
