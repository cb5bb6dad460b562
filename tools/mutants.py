#!/usr/bin/env python3
"""Faults nobody picked: mutants made by fixed operators from the lines a change adds to src/
and server/src/ (or from every line of some folders), each put alone into the source tree,
built, and tried against the test programs that cover its file (tools/mutants.map). The file
is put back after each one, also when the run is interrupted. Run through tools/mutants.sh."""

import argparse
import os
import random
import re
import signal
import statistics
import subprocess
import sys
import time
from dataclasses import dataclass, replace
from pathlib import Path

TOOLS = Path(__file__).resolve().parent
SOURCE_ROOTS = ('src', 'server/src')
LINE_JOIN = ' ⏎ '
DELETED = '∅'


@dataclass(frozen=True)
class Mutant:
    file: str      # relative to the tree
    line: int      # first line replaced, from 1
    count: int     # lines replaced
    operator: str
    before: str    # the lines as they are
    after: str     # what takes their place ('' deletes them)
    context: str = ''  # the lines just above, where the same fault is made elsewhere in the file too

    def key(self):
        """What stays the same while lines move: file, operator, both texts, and where the
        same fault could also be made elsewhere in the file, the lines above it."""
        return (self.file, self.operator, shown(self.before), shown(self.after)) + ((self.context,) if self.context else ())


def shown(text):
    return LINE_JOIN.join(line.strip().replace('\t', ' ') for line in text.split('\n')) if text else DELETED


# ---- Reading the code: comments, literals and preprocessor lines blanked ---------------

def mask_code(text):
    """The text, position for position, with comments and preprocessor lines as blanks and
    the insides of string and character literals as '_', so that no operator is found there."""
    out = list(text)
    n = len(text)

    def blank(a, b, fill):
        for k in range(a, b):
            if out[k] != '\n':
                out[k] = fill

    i, line_start = 0, True
    while i < n:
        c = text[i]
        if c == '\n' or (line_start and c in ' \t\r'):
            line_start = line_start or c == '\n'
            i += 1
            continue
        if line_start and c == '#':
            end = text.find('\n', i)
            while end > 0 and text[end - 1 - (text[end - 1] == '\r')] == '\\':
                end = text.find('\n', end + 1)
            end = n if end < 0 else end
            blank(i, end, ' ')
            i = end
            continue
        line_start = False
        if text.startswith('//', i):
            end = text.find('\n', i)
            end = n if end < 0 else end
            blank(i, end, ' ')
            i = end
        elif text.startswith('/*', i):
            end = text.find('*/', i + 2)
            end = n if end < 0 else end + 2
            blank(i, end, ' ')
            i = end
        elif c == '"' and re.search(r'(?<![\w])(?:u8|u|U|L)?R$', text[max(0, i - 4):i]):
            open_paren = text.find('(', i)
            close = text.find(')' + text[i + 1:open_paren] + '"', open_paren)
            end = n if open_paren < 0 or close < 0 else close + open_paren - i  # the closing quote
            blank(i + 1, end, '_')
            i = end + 1
        elif c == '"' or (c == "'" and not is_digit_separator(text, i)):
            k = i + 1
            while k < n and text[k] != c and text[k] != '\n':
                k += 2 if text[k] == '\\' else 1
            blank(i + 1, min(k, n), '_')
            i = k + 1
        else:
            i += 1
    return ''.join(out)


def is_digit_separator(text, i):
    start = i
    while start > 0 and (text[start - 1].isalnum() or text[start - 1] in "'."):
        start -= 1
    return start < i and text[start].isdigit()


# ---- What each position is: namespace or class scope, function body, initializer ------

@dataclass
class Frame:
    kind: str            # scope, class, enum, data (declarations); func, block, init (code)
    bool_return: bool = False

    @property
    def code(self):
        return self.kind in ('func', 'block', 'init')


PARAMETERS_END = re.compile(r'\)(?:\s*\b(?:const|override|final|noexcept|mutable)\b)*\s*(?:->\s*([\w:<>,\s*&]+?))?\s*$')


def parameters(head):
    """(where the parameter list that ends the head opens, its trailing return type), or None."""
    end = PARAMETERS_END.search(head)
    if not end:
        return None
    depth = 0
    for k in range(end.start(), -1, -1):
        depth += (head[k] == ')') - (head[k] == '(')
        if depth == 0:
            return k, (end.group(1) or '').strip()
    return None


def is_lambda(head):
    """(a lambda's body follows, the lambda says it returns bool)."""
    if head.endswith(']'):
        return True, False
    found = parameters(head)
    return bool(found and head[:found[0]].rstrip().endswith(']')), bool(found and found[1] == 'bool')


def classify(head, parent):
    """The kind of the brace that follows the head (the text since the last ';', '{' or '}')."""
    h = re.sub(r'^(?:\s*\b(?:public|protected|private|signals|slots|Q_SIGNALS|Q_SLOTS)\b\s*)+:', '', head).strip()
    lambda_found, lambda_bool = is_lambda(h)
    if lambda_found:
        return Frame('func', lambda_bool)
    if not parent.code:
        if parent.kind in ('enum', 'data'):
            return Frame('data')
        if re.search(r'\bnamespace\b|^extern\b', h) or not h:
            return Frame('scope')
        if '(' not in h and re.search(r'\benum\b', h):
            return Frame('enum')
        if '(' not in h and re.search(r'\b(?:class|struct|union)\b', h):
            return Frame('class')
        found = parameters(h)
        if found and found[1]:
            return Frame('func', found[1] == 'bool')
        if found or ('(' in h and h.endswith('}')):  # a constructor's initializers may end in braces
            declarator = h[:found[0]] if found else h[:h.find('(')]
            return Frame('func', bool(re.search(r'(?:^|[\s\]])bool\s+(?:\w+::)*~?\w+\s*$', declarator)))
        return Frame('data')
    if not h or h.endswith(')') or h.endswith(':') or re.search(r'\b(?:else|do|try)$', h):
        return Frame('block', parent.bool_return)
    return Frame('init', parent.bool_return)


def frames_of(masked):
    """The frame each position of the masked text lies in."""
    frames = [None] * len(masked)
    stack = [Frame('scope')]
    heads = ['']
    for i, c in enumerate(masked):
        frames[i] = stack[-1]
        if c == '{':
            stack.append(classify(heads[-1], stack[-1]))
            heads.append('')
        elif c == '}' and len(stack) > 1:
            closed = stack.pop()
            heads.pop()
            # An initializer's braces belong to the statement around them.
            heads[-1] = heads[-1] + '{}' if closed.kind in ('init', 'data') else ''
        elif c == ';':
            heads[-1] = ''
        else:
            heads[-1] += c
    return frames


# ---- The operators -----------------------------------------------------------------------

RELATIONAL = re.compile(r'(?<=\s)(<=|>=|<|>)(?=\s)')
RELATIONAL_SWAP = {'<': '<=', '<=': '<', '>': '>=', '>=': '>'}
EQUALITY = re.compile(r'(?<=\s)(==|!=)(?=\s)')
LOGICAL = re.compile(r'(?<=\s)(&&|\|\|)(?=\s)')
IF_OPEN = re.compile(r'\bif\s*\(')
ASSIGNMENT_IN = re.compile(r'(?<![=!<>])=(?!=)')
INTEGER = re.compile(r"(?<![\w.'])(0[xX][0-9a-fA-F]+|[0-9]+)([uUlL]*|ms|us|ns|min|s|h)(?![\w.'])")
MIN_MAX = re.compile(r'\b(?:std::(min|max)(?=\s*[(<])|q(Min|Max)(?=\s*\())')
RETURN = re.compile(r'\breturn\s+')
# Lines whose change cannot compile, means nothing, or only changes a log line.
NOT_MUTATED_LINE = re.compile(r'\b(?:static_assert|template|operator|typedef|using|friend)\b'
                              r'|^\s*q\w*(?:Debug|Info|Warning|Critical)\b')
# Statements that are neither a call nor an assignment, or whose loss only quiets a log.
NOT_DELETED = re.compile(r'^(?:return|break|continue|goto|case|default|throw|delete|if|for|while|do|switch|else'
                         r'|try|catch|Q_UNUSED|Q_ASSERT|assert|q\w*(?:Debug|Info|Warning|Critical)|auto|const'
                         r'|constexpr|static)\b')
ARGS = r'\((?:[^()]|\((?:[^()]|\((?:[^()]|\([^()]*\))*\))*\))*\)'
LINK = r'\w+(?:\[[^\]]*\])*(?:' + ARGS + r')?'
CALL = re.compile(r'(?:emit\s+|Q_EMIT\s+)?(?:' + LINK + r'(?:::|\.|->))*\w+(?:\[[^\]]*\])*\s*' + ARGS + r'\s*;')
ASSIGNMENT = re.compile(r'\*?\w+(?:\[[^\]]*\]|(?:::|\.|->)\w+|\(\))*\s*(?:[-+*/%&|^]|<<|>>)?=(?!=)[^;]*;'
                        r'|(?:\+\+|--)\s*[\w.\[\]>-]+\s*;|[\w.\[\]>-]+(?:\+\+|--)\s*;')
MAX_STATEMENT_LINES = 8
TABLE_NUMBERS = 4  # a line with more integers than this is a table, not a rule


def balanced(text):
    depth = 0
    for c in text:
        depth += c in '([{'
        depth -= c in ')]}'
        if depth < 0:
            return False
    return depth == 0


def top_level(masked, k):
    """True when position k of the line lies outside every bracket opened on the line."""
    return balanced_prefix_depth(masked[:k]) == 0


def balanced_prefix_depth(text):
    return sum((c in '([{') - (c in ')]}') for c in text)


class FileMutants:
    def __init__(self, path, text):
        self.path = path
        self.lines = text.split('\n')
        masked = mask_code(text)
        self.masked = masked.split('\n')
        self.frames = frames_of(masked)
        self.starts = []
        offset = 0
        for line in self.lines:
            self.starts.append(offset)
            offset += len(line) + 1
        self.found = []

    def frame(self, line, col):
        at = self.starts[line] + col
        return self.frames[at] if at < len(self.frames) else Frame('scope')

    def add(self, line, operator, before, after, count=1):
        if before != after:
            self.found.append(Mutant(self.path, line + 1, count, operator, before, after))

    def replace(self, line, a, b, text, operator):
        original = self.lines[line]
        self.add(line, operator, original, original[:a] + text + original[b:])

    def all(self):
        for line, masked in enumerate(self.masked):
            if not masked.strip() or NOT_MUTATED_LINE.search(masked):
                continue
            self.code_operators(line, masked)
            self.declared_constants(line, masked)
        self.statements()
        return self.found

    # Operators on expressions inside function bodies.
    def code_operators(self, line, masked):
        code_at = lambda col: self.frame(line, col).code
        for m in RELATIONAL.finditer(masked):
            if code_at(m.start()) and not (m.group(1) == '>' and masked[:m.start()].rstrip().endswith('>')):
                self.replace(line, m.start(), m.end(), RELATIONAL_SWAP[m.group(1)], 'relational')
        for m in EQUALITY.finditer(masked):
            if code_at(m.start()):
                self.replace(line, m.start(), m.end(), '!=' if m.group(1) == '==' else '==', 'equality')
        for m in LOGICAL.finditer(masked):
            if code_at(m.start()):
                self.replace(line, m.start(), m.end(), '||' if m.group(1) == '&&' else '&&', 'logical')
        for m in IF_OPEN.finditer(masked):
            close = self.closing(masked, m.end() - 1)
            condition = masked[m.end():close] if close else ''
            if code_at(m.start()) and condition.strip() and ';' not in condition and not ASSIGNMENT_IN.search(condition):
                original = self.lines[line][m.end():close]
                self.replace(line, m.end(), close, '!(' + original + ')', 'negate-condition')
        for m in MIN_MAX.finditer(masked):
            if code_at(m.start()):
                name = m.group(1) or m.group(2)
                other = {'min': 'max', 'max': 'min', 'Min': 'Max', 'Max': 'Min'}[name]
                at = m.start(1) if m.group(1) else m.start(2)
                self.replace(line, at, at + 3, other, 'min-max')
        for m in RETURN.finditer(masked):
            if code_at(m.start()):
                self.returns(line, masked, m)
        if len(INTEGER.findall(masked)) <= TABLE_NUMBERS:
            for m in INTEGER.finditer(masked):
                if code_at(m.start()):
                    self.constant(line, masked, m)

    def closing(self, masked, opening):
        depth = 0
        for k in range(opening, len(masked)):
            depth += (masked[k] == '(') - (masked[k] == ')')
            if depth == 0:
                return k
        return None

    def returns(self, line, masked, m):
        end = m.end()
        while end < len(masked) and (masked[end] != ';' or balanced_prefix_depth(masked[m.end():end]) != 0):
            end += 1
        value = masked[m.end():end].strip()
        if end >= len(masked) or not value or value.startswith('{'):
            return
        if value in ('true', 'false'):
            self.replace(line, m.end(), end, 'false' if value == 'true' else 'true', 'return-bool')
        elif self.frame(line, m.start()).bool_return and balanced(value):
            original = self.lines[line][m.end():end].strip()
            self.replace(line, m.end(), end, '!(' + original + ')', 'return-bool')

    def constant(self, line, masked, m):
        digits, suffix = m.group(1), m.group(2)
        after = masked[m.end():].lstrip()
        if after.startswith('>') and not after.startswith('>='):
            return  # a template argument
        if len(digits) > 1 and digits.startswith('0') and digits[1] not in 'xX':
            return  # octal
        hexadecimal = digits[:2].lower() == '0x'
        value = int(digits, 16 if hexadecimal else 10)

        def spelled(number):
            if not hexadecimal:
                return str(number) + suffix
            text = format(number, 'X' if any(c in 'ABCDEF' for c in digits[2:]) else 'x')
            return digits[:2] + text.zfill(len(digits) - 2) + suffix

        self.replace(line, m.start(), m.end(), spelled(value + 1), 'constant+1')
        if value > 0:
            self.replace(line, m.start(), m.end(), spelled(value - 1), 'constant-1')
        if not hexadecimal and value >= 10:
            self.replace(line, m.start(), m.end(), spelled(value * 1000), 'constant*1000')
        if not hexadecimal and value >= 1000 and value % 1000 == 0:
            self.replace(line, m.start(), m.end(), spelled(value // 1000), 'constant/1000')

    # Constants given at namespace or class scope: "constexpr int Limit = 100;".
    def declared_constants(self, line, masked):
        stripped = masked.strip()
        start = len(masked) - len(masked.lstrip())
        frame = self.frame(line, start)
        if frame.code or frame.kind not in ('scope', 'class') or not stripped.endswith(';'):
            return
        equals = next((m.end() for m in ASSIGNMENT_IN.finditer(masked) if top_level(masked, m.start())), None)
        if equals is None or re.search(r'\)\s*=', stripped):
            return
        if len(INTEGER.findall(masked)) <= TABLE_NUMBERS:
            for m in INTEGER.finditer(masked, equals):
                self.constant(line, masked, m)

    # Whole statements: a call or an assignment deleted, two of them swapped.
    def statements(self):
        found = {}
        for line in range(len(self.lines)):
            statement = self.statement_at(line)
            if statement:
                found[line] = statement
                end, governed = statement
                before = '\n'.join(self.lines[line:end + 1])
                indent = self.lines[line][:len(self.lines[line]) - len(self.lines[line].lstrip())]
                self.add(line, 'delete-statement', before, indent + '{}' if governed else '', end - line + 1)
        for line, (end, governed) in found.items():
            following = found.get(line + 1)
            if end == line and not governed and following and following[0] == line + 1:
                first, second = self.lines[line], self.lines[line + 1]
                if indentation(first) == indentation(second):
                    self.add(line, 'swap-statements', first + '\n' + second, second + '\n' + first, 2)

    def statement_at(self, line):
        """(last line, governed by a braceless if/else/for/while) of the call or assignment
        that begins this line, or None."""
        masked = self.masked[line]
        start = len(masked) - len(masked.lstrip())
        text = masked.strip()
        if not text or self.frame(line, start).kind not in ('func', 'block') or NOT_DELETED.match(text):
            return None
        before = next((m.rstrip() for m in reversed(self.masked[:line]) if m.strip()), '')
        if before.endswith(')') or re.search(r'\b(?:else|do)$', before):
            governed = True
        elif before.endswith(('{', '}', ';')) or re.fullmatch(r'\s*(?:case\b.*|default\s*|\w+\s*):', before):
            governed = False
        else:
            return None
        for end in range(line, min(line + MAX_STATEMENT_LINES, len(self.masked))):
            joined = ' '.join(part.strip() for part in self.masked[line:end + 1])
            if joined.endswith(';') and balanced(joined):
                if CALL.fullmatch(joined) or ASSIGNMENT.fullmatch(joined):
                    return end, governed
                return None
        return None


def indentation(line):
    return len(line) - len(line.lstrip())


def above(source_lines, line, count):
    """The `count` non-blank lines above line (numbered from 1), as shown."""
    kept = [t for t in source_lines[:line - 1] if t.strip()][-count:]
    return shown('\n'.join(kept)) if kept else 'the start of the file'


def told_apart(found, source_lines):
    """Mutants that are the same fault in two places of a file get the fewest lines above them
    (up to four) that tell each from the others."""
    groups = {}
    for m in found:
        groups.setdefault(m.key(), []).append(m)
    result = []
    for group in groups.values():
        if len(group) == 1:
            result += group
            continue
        for count in range(1, 5):
            contexts = [above(source_lines, m.line, count) for m in group]
            if len(set(contexts)) == len(group) or count == 4:
                break
        result += [replace(m, context=c) for m, c in zip(group, contexts)]
    return result


def mutants_of(path, text, lines=None):
    """Every mutant of one file; with `lines` (numbers from 1) only those touching them."""
    found = told_apart(FileMutants(path, text).all(), text.split('\n'))
    if lines is not None:
        found = [m for m in found if any(k in lines for k in range(m.line, m.line + m.count))]
    unique = {(m.line, m.count, m.after): m for m in found}
    return sorted(unique.values(), key=lambda m: (m.line, m.operator, m.after))


# ---- Which lines: a change, or whole folders --------------------------------------------

def is_source(path):
    return path.endswith(('.cpp', '.h')) and any(path.startswith(root + '/') for root in SOURCE_ROOTS)


def changed_lines(tree, base):
    """{file: set of line numbers} the working tree adds or changes since base; every line
    of a new file that git does not know yet."""
    git = lambda *args: subprocess.run(['git', '-C', str(tree), *args, '--', *SOURCE_ROOTS], check=True,
                                       capture_output=True, text=True).stdout
    changed, current = {}, None
    for line in git('diff', '-U0', '--no-color', '--no-ext-diff', base).split('\n'):
        if line.startswith('+++ '):
            current = line[6:] if line.startswith('+++ b/') and is_source(line[6:]) else None
        elif line.startswith('@@') and current:
            hunk = re.match(r'@@ -\S+ \+(\d+)(?:,(\d+))? @@', line)
            first, count = int(hunk.group(1)), int(hunk.group(2) or 1)
            if count:
                changed.setdefault(current, set()).update(range(first, first + count))
    for path in git('ls-files', '--others', '--exclude-standard').split('\n'):
        if is_source(path):
            changed[path] = set(range(1, len((tree / path).read_text(encoding='utf-8').splitlines()) + 1))
    return changed


def candidates(tree, base=None, paths=()):
    found = []
    if base:
        for path, lines in sorted(changed_lines(tree, base).items()):
            found += mutants_of(path, (tree / path).read_text(encoding='utf-8'), lines)
    for folder in paths:
        root = tree / folder
        files = [root] if root.is_file() else sorted(root.rglob('*'))
        for file in files:
            path = file.relative_to(tree).as_posix()
            if file.is_file() and is_source(path):
                found += mutants_of(path, file.read_text(encoding='utf-8'))
    return found


# ---- The map, the recorded equivalents ---------------------------------------------------

def read_map(path):
    entries = {}
    for line in path.read_text(encoding='utf-8').split('\n'):
        line = line.split('#', 1)[0].strip()
        if line:
            where, _, tests = line.partition(':')
            entries[where.strip().rstrip('/')] = tests.split()
    return entries


def tests_for(path, entries):
    matches = [p for p in entries if path == p or path.startswith(p + '/')]
    return entries[max(matches, key=len)] if matches else []


def check_map(tree, map_path):
    """Problems: programs the map names that do not exist, paths it names that do not, and
    source files no entry covers."""
    entries = read_map(map_path)
    programs = {p.stem for folder in ('tests', 'server/tests') for p in (tree / folder).rglob('tst_*.cpp')}
    problems = []
    for where, tests in entries.items():
        if not (tree / where).exists():
            problems.append(f'{where}: no such file or folder')
        if not tests:
            problems.append(f'{where}: no test programs')
        problems += [f'{where}: no test program {t}' for t in tests if t.split(':')[0] not in programs]
    for root in SOURCE_ROOTS:
        for file in sorted((tree / root).rglob('*')):
            path = file.relative_to(tree).as_posix()
            if is_source(path) and not tests_for(path, entries):
                problems.append(f'{path}: no entry names its tests')
    return problems


def stale_equivalents(tree, recorded):
    """Recorded equivalents the generator no longer makes (their line was changed or went):
    each wants its line mended or removed."""
    made = {}
    for file in {key[0] for key in recorded}:
        source = tree / file
        made[file] = ({m.key() for m in mutants_of(file, source.read_text(encoding='utf-8'))}
                      if source.is_file() else set())
    return [f'{key[0]}: recorded equivalent no longer made: {key[1]}: {key[2]}'
            for key in recorded if key not in made[key[0]]]


def read_equivalents(path):
    """{mutant key: reason}. Lines: file, operator, text as it is, mutated text, [the lines
    above, for a fault made in more than one place of its file,] reason (tabs)."""
    recorded = {}
    if path.exists():
        for line in path.read_text(encoding='utf-8').split('\n'):
            fields = line.split('\t')
            if line.strip() and not line.startswith('#') and len(fields) in (5, 6):
                recorded[tuple(fields[:-1])] = fields[-1]
    return recorded


# ---- Putting a mutant in, building, running ---------------------------------------------

class Tree:
    """The source tree, every mutated file put back: after each mutant, on errors and
    signals, and (from the copies kept in the build folder) after a run that was killed."""

    def __init__(self, root, build):
        self.root = root
        self.spare = build / 'mutant-original'
        self.current = None

    def recover(self):
        files = sorted(self.spare.rglob('*')) if self.spare.exists() else []
        for original in (p for p in files if p.is_file() and p.suffix != '.mutated'):
            target = self.root / original.relative_to(self.spare)
            mutated = original.with_name(original.name + '.mutated')
            if mutated.exists() and target.read_bytes() == mutated.read_bytes():
                target.write_bytes(original.read_bytes())
                print(f'put back {target.relative_to(self.root)}, left mutated by a run that was stopped')
            elif target.read_bytes() != original.read_bytes():
                sys.exit(f'{target} was left mutated and has changed since: compare it with {original}, then delete that')
            original.unlink()
            mutated.unlink(missing_ok=True)

    def apply(self, mutant):
        target = self.root / mutant.file
        original = target.read_bytes()
        lines = original.decode('utf-8').split('\n')
        if '\n'.join(lines[mutant.line - 1:mutant.line - 1 + mutant.count]) != mutant.before:
            raise RuntimeError(f'{mutant.file}:{mutant.line} no longer reads {mutant.before!r}')
        lines[mutant.line - 1:mutant.line - 1 + mutant.count] = mutant.after.split('\n') if mutant.after else []
        mutated = '\n'.join(lines).encode('utf-8')
        spare = self.spare / mutant.file
        spare.parent.mkdir(parents=True, exist_ok=True)
        spare.write_bytes(original)
        spare.with_name(spare.name + '.mutated').write_bytes(mutated)
        self.current = (target, original, spare)
        target.write_bytes(mutated)

    def restore(self):
        if self.current:
            target, original, spare = self.current
            target.write_bytes(original)  # newer than the mutant's objects: they are rebuilt
            spare.unlink(missing_ok=True)
            spare.with_name(spare.name + '.mutated').unlink(missing_ok=True)
            self.current = None


def run_child(command, log, timeout=None, env=None):
    """Exit status of the command in a process group of its own (None when it timed out);
    the group is ended afterwards, so servers a test started do not outlive it."""
    log.flush()
    child = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT, env=env,
                             start_new_session=True)
    try:
        return child.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        return None
    finally:
        try:
            os.killpg(child.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        child.wait()


class Runner:
    def __init__(self, tree, build, entries):
        self.tree, self.build, self.entries = tree, build, entries
        self.seconds = {}  # each test program's time on the unmutated code
        self.env = dict(os.environ, QT_QPA_PLATFORM='offscreen', TARNIVEL_DIRECTORY=str(build / 'tarnivel-directory'),
                        TARNIVEL_EXECUTABLE=str(build / 'tarnivel'), TARNIVEL_NEARBY_COPY=str(build / 'nearbycopy'))

    def tests(self, mutant):
        return tests_for(mutant.file, self.entries)

    def targets(self, tests):
        programs = sorted({t.split(':')[0] for t in tests})
        sources = [s for p in programs for folder in ('tests', 'server/tests') for s in (self.tree / folder).rglob(f'{p}.cpp')]
        runs_program = any(s.exists() and 'TARNIVEL_EXECUTABLE' in s.read_text(encoding='utf-8') for s in sources)
        return programs + ['tarnivel-directory'] + (['tarnivel'] if runs_program else [])

    def compile(self, tests, log):
        return run_child(['cmake', '--build', str(self.build), '--target', *self.targets(tests)], log) == 0

    def first_failing(self, tests, log):
        """The first test program that fails, or runs out of time (a mutant that loops for
        ever), or None. The time: three times the unmutated run and 30 s, as one failing
        QTRY_* waits three times its 5 s before it reports."""
        for test in tests:
            program, _, functions = test.partition(':')
            log.write(f'\n==== {test}\n'.encode())
            began = time.monotonic()
            limit = min(300, 3 * self.seconds[test] + 30) if test in self.seconds else 300
            status = run_child([str(self.build / program), *filter(None, functions.split(','))], log, limit, self.env)
            self.seconds.setdefault(test, time.monotonic() - began)
            if status != 0:
                return test + (f' (ran out of {limit:.0f} s)' if status is None else '')
        return None


def report_line(mark, mutant, detail=''):
    print(f'{mark:<11}{mutant.file}:{mutant.line} {mutant.operator}: {shown(mutant.before)}  ->  {shown(mutant.after)}'
          + (f'  [{detail}]' if detail else ''), flush=True)


def run(args):
    tree = Path(args.tree).resolve()
    build = Path(args.build).resolve() if args.build else tree / 'build-mutants'
    entries = read_map(TOOLS / 'mutants.map')
    recorded = read_equivalents(TOOLS / 'mutants.equivalent')
    source = Tree(tree, build)
    source.recover()

    every = sorted(candidates(tree, args.base, args.paths), key=lambda m: (m.file, m.line, m.operator, m.after))
    chosen = every
    if len(every) > args.max:
        seed = args.seed if args.seed is not None else random.SystemRandom().randrange(1, 1000000)
        chosen = sorted(random.Random(seed).sample(every, args.max), key=lambda m: (m.file, m.line, m.operator))
        print(f'{len(every)} mutants; trying {args.max} of them, seed {seed} (--seed {seed} picks them again)')
    else:
        print(f'{len(every)} mutants')
    untested = [m for m in chosen if not tests_for(m.file, entries)]
    if untested:
        sys.exit(f'no test programs in tools/mutants.map for {untested[0].file}')
    if args.show or not chosen:
        for mutant in chosen:
            report_line('', mutant, ' '.join(tests_for(mutant.file, entries)))
        return 0

    logs = build / 'mutant-logs'
    logs.mkdir(parents=True, exist_ok=True)
    for old in logs.glob('*.log'):
        old.unlink()
    runner = Runner(tree, build, entries)
    programs = sorted({t for m in chosen for t in runner.tests(m)})
    started = time.monotonic()
    with open(logs / 'unmutated.log', 'wb') as log:
        if not runner.compile(programs, log):
            sys.exit(f'the unmutated tree does not build: see {logs / "unmutated.log"}')
        failing = runner.first_failing(programs, log)
    if failing:
        sys.exit(f'{failing} fails without any mutant: see {logs / "unmutated.log"}')
    print(f'unmutated tree built and its {len(programs)} test programs passed in {time.monotonic() - started:.0f} s',
          flush=True)

    counts = dict.fromkeys(['not compiled', 'killed', 'survived', 'equivalent'], 0)
    seconds, survivors, stale = [], [], []
    for number, mutant in enumerate(chosen, 1):
        began = time.monotonic()
        tests = runner.tests(mutant)
        with open(logs / f'{number:03}.log', 'wb') as log:
            try:
                source.apply(mutant)
                compiled = runner.compile(tests, log)
                killer = runner.first_failing(tests, log) if compiled else None
            finally:
                source.restore()
        seconds.append(time.monotonic() - began)
        if not compiled:
            counts['not compiled'] += 1
            report_line('no build', mutant)
        elif killer:
            counts['killed'] += 1
            report_line('killed', mutant, killer)
            if mutant.key() in recorded:
                stale.append(mutant)
        elif mutant.key() in recorded:
            counts['equivalent'] += 1
            report_line('equivalent', mutant, recorded[mutant.key()])
        else:
            counts['survived'] += 1
            survivors.append(mutant)
            report_line('SURVIVED', mutant, ' '.join(tests))

    tried = len(chosen) - counts['not compiled']
    caught = counts['killed'] + counts['equivalent']
    print(f'\ngenerated {len(chosen)}, not compiled {counts["not compiled"]}, killed {counts["killed"]}, '
          f'survived {counts["survived"]}, recorded equivalent {counts["equivalent"]}')
    if tried:
        print(f'killed {100 * caught / tried:.0f}% of {tried} (recorded equivalents counted as killed)')
    print(f'{statistics.mean(seconds):.1f} s per mutant on average (median {statistics.median(seconds):.1f} s), '
          f'logs in {logs}')
    for mutant in stale:
        print(f'recorded as equivalent but killed, take it out of tools/mutants.equivalent: {"  ".join(mutant.key())}')
    if survivors:
        print('\nEach survivor wants a test row, or a line in tools/mutants.equivalent (tabs, then the reason):')
        for mutant in survivors:
            print('\t'.join(mutant.key()) + '\t<why no test can tell>')
    return 1 if survivors else 0


def main():
    parser = argparse.ArgumentParser(prog='tools/mutants.sh', description=__doc__)
    which = parser.add_mutually_exclusive_group(required=True)
    which.add_argument('--base', metavar='REV', help='mutate the lines changed since REV')
    which.add_argument('--paths', metavar='DIR', nargs='+', default=[], help='mutate every line of these folders')
    which.add_argument('--check-map', action='store_true', help='check tools/mutants.map against the tests')
    parser.add_argument('--max', type=int, default=40, help='a seeded sample of this many when there are more')
    parser.add_argument('--seed', type=int, help='the seed of an earlier sample')
    parser.add_argument('--show', action='store_true', help='list the chosen mutants and stop')
    parser.add_argument('--tree', default=str(TOOLS.parent), help='the source tree (this checkout)')
    parser.add_argument('--build', help='the build folder (TREE/build-mutants)')
    args = parser.parse_args()
    if args.check_map:
        problems = check_map(Path(args.tree), TOOLS / 'mutants.map')
        problems += stale_equivalents(Path(args.tree), read_equivalents(TOOLS / 'mutants.equivalent'))
        print('\n'.join(problems) if problems else
              'tools/mutants.map: every test program exists, every source is covered; '
              'every recorded equivalent is still made')
        return 1 if problems else 0

    def stop(number, _frame):
        raise SystemExit(128 + number)

    signal.signal(signal.SIGPIPE, signal.SIG_DFL)
    signal.signal(signal.SIGINT, signal.default_int_handler)  # even where a background job ignores it
    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGHUP, stop)
    try:
        return run(args)
    except KeyboardInterrupt:
        print('\ninterrupted; the source tree is as it was')
        return 130


if __name__ == '__main__':
    sys.exit(main())
