#!/usr/bin/env python3
# The mutant generator of tools/mutants.sh: the faults each operator makes from a snippet, and
# none inside comments, literals, preprocessor lines, template arguments, declarations or logs.
import shutil
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / 'tools'))
import mutants  # noqa: E402

# Snippet, then every mutant it gives: "line operator: the changed lines".
ROWS = [
    ('comparisons, not template brackets, arrows or streams', '''
bool fits(const std::vector<int> &v, const Box *box)
{
    std::cout << box->size << static_cast<int>(v.size());
    return v.size() <= box->size && box->size != 0;
}''', ['5 relational: return v.size() < box->size && box->size != 0;',
       '5 logical: return v.size() <= box->size || box->size != 0;',
       '5 equality: return v.size() <= box->size && box->size == 0;',
       '5 constant+1: return v.size() <= box->size && box->size != 1;',
       '5 return-bool: return !(v.size() <= box->size && box->size != 0);']),
    ('comments, strings, characters and preprocessor lines', '''
#include <array>
#define LIMIT (10 > 2)
int pick(int n)
{
    // if (n < 5) return 1;
    const char *text = "a < b == c && 7", *raw = R"x(n > 1 ")x"; /* n > 2 */
    return n > '"' ? 1 : 0;
}''', ['8 relational: return n >= \'"\' ? 1 : 0;',
       '8 constant+1: return n > \'"\' ? 2 : 0;',
       '8 constant-1: return n > \'"\' ? 0 : 0;',
       '8 constant+1: return n > \'"\' ? 1 : 1;']),
    ('constants given at namespace scope; template arguments, arrays and enums left', '''
namespace {
constexpr int Limit = 40000;
std::array<int, 3> table{};
enum class Kind { A = 1, B = 2 };
}
void f(std::bitset<8> &bits)
{
    std::get<0>(pair) = static_cast<unsigned>(Limit);
}''', ['3 constant+1: constexpr int Limit = 40001;', '3 constant-1: constexpr int Limit = 39999;',
       '3 constant*1000: constexpr int Limit = 40000000;', '3 constant/1000: constexpr int Limit = 40;']),
    ('calls and assignments deleted and swapped; declarations and logs not', '''
void Box::reset()
{
    const int kept = m_count;
    qCDebug(lc) << "reset" << kept;
    m_count = 0;
    m_items.clear();
    if (kept)
        emit changed(kept);
}''', ['6 delete-statement: ∅', '6 constant+1: m_count = 1;',
       '6 swap-statements: m_items.clear(); ⏎ m_count = 0;', '7 delete-statement: ∅',
       '8 negate-condition: if (!(kept))', '9 delete-statement: {}']),
    ('a call over lines deleted whole; a lambda returns for itself', '''
bool Box::watch()
{
    connect(m_timer, &QTimer::timeout, this, [this] {
        return m_count > 0;
    });
    return std::min(m_count, 5) == 5;
}''', ['4 delete-statement: ∅', '5 relational: return m_count >= 0;', '5 constant+1: return m_count > 1;',
       '7 min-max: return std::max(m_count, 5) == 5;', '7 equality: return std::min(m_count, 5) != 5;',
       '7 constant+1: return std::min(m_count, 6) == 5;', '7 constant-1: return std::min(m_count, 4) == 5;',
       '7 constant+1: return std::min(m_count, 5) == 6;', '7 constant-1: return std::min(m_count, 5) == 4;',
       '7 return-bool: return !(std::min(m_count, 5) == 5);']),
    ('bool members inline in a class, member defaults', '''
class Gate
{
    Q_OBJECT
public:
    bool open() const { return m_open; }
    bool fail() { return false; }
    void clear() = 0;
private:
    bool m_open = true;
    int m_limit = 16;
};''', ['6 return-bool: bool open() const { return !(m_open); }', '7 return-bool: bool fail() { return true; }',
        '11 constant+1: int m_limit = 17;', '11 constant-1: int m_limit = 15;',
        '11 constant*1000: int m_limit = 16000;']),
    ('hexadecimal and time constants keep their spelling; a table is left alone', '''
void Clock::tick()
{
    m_timer.start(500ms);
    m_mask = 0x7F;
    const int table[] = {1, 2, 3, 4, 5};
}''', ['4 delete-statement: ∅', '4 constant+1: m_timer.start(501ms);', '4 constant-1: m_timer.start(499ms);',
       '4 constant*1000: m_timer.start(500000ms);', '4 swap-statements: m_mask = 0x7F; ⏎ m_timer.start(500ms);',
       '5 delete-statement: ∅', '5 constant+1: m_mask = 0x80;', '5 constant-1: m_mask = 0x7E;']),
    ('a condition that declares is not negated; a loop body becomes empty', '''
void take(Queue &q, int x)
{
    if (auto *item = q.next())
        use(item);
    while (x)
        --x;
}''', ['5 delete-statement: {}', '7 delete-statement: {}']),
    ('constructor initializers left; a lambda that returns bool inverted; a case starts a statement', '''
Box::Box(QObject *parent)
    : QObject(parent)
    , m_limit{16}
{
    auto check = [this](int n) -> bool { return n < m_limit; };
    switch (m_kind) {
    case Kind::A:
        m_count = 2;
        break;
    }
}''', ['6 relational: auto check = [this](int n) -> bool { return n <= m_limit; };',
       '6 return-bool: auto check = [this](int n) -> bool { return !(n < m_limit); };',
       '9 delete-statement: ∅', '9 constant+1: m_count = 3;', '9 constant-1: m_count = 1;']),
]


class MutantOperators(unittest.TestCase):
    def test_rows(self):
        for what, source, expected in ROWS:
            with self.subTest(what):
                made = [f'{m.line} {m.operator}: {mutants.shown(m.after)}' for m in mutants.mutants_of('x.cpp', source)]
                self.assertEqual(sorted(made), sorted(expected))

    def test_lines_a_change_touches(self):
        if not shutil.which('git'):
            self.skipTest('no git')
        with tempfile.TemporaryDirectory() as folder:
            root = Path(folder)
            git = lambda *args: subprocess.run(['git', '-C', folder, '-c', 'user.name=t', '-c', 'user.email=t@t',
                                                *args], check=True, capture_output=True)
            git('init', '-q')
            for path in ('src/a/x.cpp', 'server/src/y.h', 'tests/z.cpp', 'src/a/notes.txt'):
                (root / path).parent.mkdir(parents=True, exist_ok=True)
                (root / path).write_text('one\ntwo\nthree\nfour\n')
            git('add', '.')
            git('commit', '-qm', 'base')
            (root / 'src/a/x.cpp').write_text('one\nTWO\nthree\nfour\nfive\n')  # a line changed, one added
            (root / 'server/src/y.h').write_text('one\nfour\n')  # lines taken away only
            (root / 'tests/z.cpp').write_text('changed\n')
            (root / 'src/a/notes.txt').write_text('changed\n')
            (root / 'src/a/new.h').write_text('one\ntwo\n')  # not known to git yet
            self.assertEqual(mutants.changed_lines(root, 'HEAD'), {'src/a/x.cpp': {2, 5}, 'src/a/new.h': {1, 2}})

    def test_map_check_names_every_problem(self):
        with tempfile.TemporaryDirectory() as folder:
            root = Path(folder)
            for path in ('tests/one/tst_a.cpp', 'server/tests/tst_b.cpp', 'src/one/x.cpp', 'src/one/y.h',
                         'src/onemore/w.cpp', 'src/two/z.cpp', 'server/src/s.cpp'):
                (root / path).parent.mkdir(parents=True, exist_ok=True)
                (root / path).write_text('')
            (root / 'map').write_text('# comment\nsrc/one: tst_a:rows\nsrc/one/y.h: tst_gone\nsrc/three: tst_b\n'
                                      'src/two:\nserver/src: tst_b\n')
            self.assertEqual(mutants.check_map(root, root / 'map'), [
                'src/one/y.h: no test program tst_gone', 'src/three: no such file or folder',
                'src/two: no test programs', 'src/onemore/w.cpp: no entry names its tests',
                'src/two/z.cpp: no entry names its tests'])
            self.assertEqual(mutants.tests_for('src/one/y.h', mutants.read_map(root / 'map')), ['tst_gone'])

    def test_printed_survivor_lines_are_read_back_as_recorded(self):
        with tempfile.TemporaryDirectory() as folder:
            # The same deletion in two places is told apart by the line above each.
            twice = 'void f()\n{\n    a();\n    g();\n    b();\n    g();\n}\n'
            sources = [source for _, source, _ in ROWS] + ['void f()\n{\n    m_x =\t1;\n}\n', twice]
            made = [m for source in sources for m in mutants.mutants_of('src/x.cpp', source)]
            deleted = [m.key() for m in mutants.mutants_of('src/x.cpp', twice) if m.before.strip() == 'g();'
                       and m.operator == 'delete-statement']
            self.assertEqual([k[4:] for k in deleted], [('a();',), ('b();',)])
            record = Path(folder) / 'equivalent'
            record.write_text('# file\toperator\tas it is\tmutated\treason\n' + ''.join('\t'.join(m.key()) + '\tno test can tell\n' for m in made))
            self.assertEqual(set(mutants.read_equivalents(record)), {m.key() for m in made})

    def test_file_put_back_after_a_run_that_was_killed(self):
        with tempfile.TemporaryDirectory() as folder:
            root = Path(folder)
            source = root / 'src' / 'x.cpp'
            source.parent.mkdir()
            text = 'void f()\n{\n    m_count = 0;\n}\n'
            source.write_text(text)
            mutant = next(m for m in mutants.mutants_of('src/x.cpp', text) if m.operator == 'delete-statement')
            mutants.Tree(root, root / 'build').apply(mutant)
            self.assertEqual(source.read_text(), 'void f()\n{\n}\n')
            mutants.Tree(root, root / 'build').recover()  # as the next run starts
            self.assertEqual(source.read_text(), text)
            self.assertEqual(list((root / 'build' / 'mutant-original').rglob('*.*')), [])


if __name__ == '__main__':
    unittest.main()
