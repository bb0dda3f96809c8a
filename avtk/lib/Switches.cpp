#include "lib/Switches.h"

namespace {

const SwitchSpec* find(const QList<SwitchSpec>& specs, const QString& name) {
    for (const SwitchSpec& spec : specs)
        if (spec.name == name)
            return &spec;
    return nullptr;
}

} // namespace

bool IsBareFileName(const QString& name) {
    return !name.contains(u'/') && !name.contains(u'\\') && name != u"." && name != u"..";
}

CommandLine CommandLine::Parse(const QStringList& arguments, const QList<SwitchSpec>& specs,
                               int maxPositionals) {
    CommandLine line;
    line.received = arguments;
    QString gluing; // the switch whose value the next plain words continue
    for (const QString& word : arguments) {
        if (!word.startsWith(u'/')) {
            if (!gluing.isEmpty()) {
                line.values[gluing] += u' ' + word;
            } else if (line.words.size() < maxPositionals) {
                line.words << word;
            } else {
                line.problems << QString("Unexpected argument \"%1\".").arg(word);
            }
            continue;
        }
        gluing.clear();
        const qsizetype equals = word.indexOf(u'=');
        const QString name = word.mid(1, equals < 0 ? -1 : equals - 1).toUpper();
        const SwitchSpec* spec = find(specs, name);
        if (!spec) {
            line.problems << QString("Unknown switch \"%1\".").arg(word);
        } else if (spec->kind == SwitchSpec::Flag && equals >= 0) {
            line.problems << QString("The switch /%1 takes no value (\"%2\").").arg(name, word);
        } else if (spec->kind != SwitchSpec::Flag && equals < 0) {
            line.problems << QString("The switch /%1 needs a value, as in /%1=...").arg(name);
        } else if (spec->kind == SwitchSpec::FileName && !IsBareFileName(word.mid(equals + 1))) {
            line.problems << QString("The switch /%1 takes a file name of the working folder, "
                                     "without a folder part (\"%2\").")
                                 .arg(name, word.mid(equals + 1));
        } else {
            line.values[name] = equals < 0 ? QString() : word.mid(equals + 1);
            if (spec->takesFollowingWords)
                gluing = name;
        }
    }
    return line;
}
