#!/usr/bin/env python3
"""Doxygen input filter: lets Doxygen read the headers' plain comments as documentation.

The headers are written with ordinary `//` comments so that they read naturally; this filter
turns them into Doxygen comments on the fly and leaves the files untouched, line for line:

- a comment block directly above a declaration documents it (`//` becomes `///`); when the
  comment stands above a run of declarations with no blank line between them, it also documents
  the fields of the run and the functions of the same family (a copy as `///<` after each);
- a comment after a member on the same line documents that member (`//` becomes `///<`);
- classes and free functions of include/zem/<subsystem>/ join the group of their subsystem,
  which the first comment of include/zem/<subsystem>.h ("Title: text") defines.

Comments inside function bodies, above preprocessor lines or namespaces (they speak of the
file) or followed by a blank line stay as they are.
"""
import os
import re
import sys

SCOPE_WORDS = re.compile(r'\b(class|struct|union|enum)\b')
TRAILING = re.compile(r'^(\s*[^/\s].*?[;,{])\s*//\s?(.*)$')
# Lines that end a run: a member that explains itself never takes the comment of the run above.
DEFAULTED = re.compile(r'=\s*(delete|default)\s*;|~\w+\s*\(')
COPY_OR_MOVE = re.compile(r'\b(\w+)\s*\(\s*(const\s+)?\1\s*&')
LABEL = re.compile(r'^(public|protected|private)\s*:')


def plain_comment(line):
    s = line.strip()
    return s.startswith('//') and not s.startswith('///') and not s.startswith('//!')


def escaped(text):
    """The comments are plain text: a backslash or an at sign is never a Doxygen command."""
    return re.sub(r'([\\@])', r'\\\1', text)


def comment_text(line):
    return escaped(re.sub(r'^\s*//\s?', '', line).rstrip('\n'))


def as_doc(line):
    """A comment line as a Doxygen line."""
    indent = re.match(r'\s*', line).group(0)
    return indent + '/// ' + comment_text(line) + '\n'


def code_part(line):
    return re.sub(r'"(\\.|[^"\\])*"|\'(\\.|[^\'\\])*\'', '""', line).split('//')[0]


def subsystem_of(path):
    """(subsystem, True) for include/zem/<subsystem>.h, (subsystem, False) for a header in
    include/zem/<subsystem>/, (None, False) otherwise."""
    parts = os.path.normpath(path).split(os.sep)
    if 'zem' not in parts:
        return None, False
    rest = parts[len(parts) - parts[::-1].index('zem'):]
    if len(rest) == 1 and rest[0] != 'zembase.h':
        return rest[0][:-2], True
    if len(rest) == 2:
        return rest[0], False
    return None, False


class Scopes:
    """Tracks braces to tell namespaces, types and function bodies apart."""

    def __init__(self):
        self.stack = []
        self.statement = ''

    def in_body(self):
        return 'body' in self.stack

    def at_top(self):
        return all(kind == 'namespace' for kind in self.stack)

    def feed(self, line):
        code = code_part(line)
        if code.lstrip().startswith('#'):
            return
        for ch in code:
            if ch == '{':
                if re.search(r'\bnamespace\b', self.statement):
                    kind = 'namespace'
                elif SCOPE_WORDS.search(self.statement):
                    kind = 'type'
                else:
                    kind = 'body'
                self.stack.append(kind)
                self.statement = ''
            elif ch == '}':
                if self.stack:
                    self.stack.pop()
                self.statement = ''
            elif ch == ';':
                self.statement = ''
            else:
                self.statement += ch


def declaration_ends(run):
    """Indexes of the lines of run that end a declaration at the run's own brace depth, or None
    when the run leaves that depth open (a class or function body that goes on)."""
    depth = 0
    ends = []
    for n, line in enumerate(run):
        code = code_part(line)
        for ch in code:
            depth += (ch == '{') - (ch == '}')
            if depth < 0:
                return None
        stripped = code.rstrip()
        if depth == 0 and stripped.endswith((';', '}')):
            ends.append(n)
    return ends if depth == 0 else None


def run_after(lines, start):
    """End of the code that follows a comment: a blank line, a comment, an access label, a
    preprocessor line, the end of the enclosing scope or a member that explains itself stops it."""
    end = start
    depth = 0
    while end < len(lines):
        s = lines[end].strip()
        if not s or s.startswith(('//', '#')) or LABEL.match(s):
            break
        if depth == 0 and (s.startswith('}') or end > start and (DEFAULTED.search(s) or COPY_OR_MOVE.search(s))):
            break
        code = code_part(lines[end])
        depth += code.count('{') - code.count('}')
        end += 1
    return end


def with_trailing_doc(line, text):
    """The line with text as the documentation of the member it ends."""
    m = TRAILING.match(line)
    if m:
        return '%s ///< %s\n' % (m.group(1), escaped(m.group(2)))
    return '%s ///< %s\n' % (line.rstrip('\n'), text)


def trailing_doc(line):
    m = TRAILING.match(line)
    if not m or line.strip().startswith('}'):
        return line
    return '%s ///< %s\n' % (m.group(1), escaped(m.group(2)))


class HeaderFilter:
    def __init__(self, lines, group):
        self.lines = lines
        self.group = group
        self.scopes = Scopes()
        self.out = []

    def run(self):
        i = 0
        while i < len(self.lines):
            if plain_comment(self.lines[i]) and not self.scopes.in_body():
                i = self.comment_block(i)
                continue
            line = self.lines[i]
            self.out.append(line if self.scopes.in_body() else trailing_doc(line))
            self.scopes.feed(line)
            i += 1
        return self.out

    def comment_block(self, i):
        j = i
        while j < len(self.lines) and plain_comment(self.lines[j]):
            j += 1
        nxt = self.lines[j].strip() if j < len(self.lines) else ''
        if not nxt or nxt.startswith(('#', '}', 'namespace')):
            self.out.extend(self.lines[i:j])
            return j
        ingroup = ' \\ingroup %s' % self.group if self.group and self.scopes.at_top() else ''
        comment = [as_doc(c) for c in self.lines[i:j]]
        comment[-1] = comment[-1].rstrip('\n') + ingroup + '\n'
        self.out.extend(comment)
        end = run_after(self.lines, j)
        ends = declaration_ends(self.lines[j:end])
        if not ends or len(ends) < 2:
            return j
        text = ' '.join(comment_text(c) for c in self.lines[i:j]) + ingroup
        first = None
        statement = ''
        for n, code in enumerate(self.lines[j:end]):
            statement += code_part(code) + ' '
            if n in ends:
                member = Member(statement)
                if first is None:
                    first = member
                    code = trailing_doc(code)
                elif first.shares_comment_with(member):
                    code = with_trailing_doc(code, text)
                else:
                    code = trailing_doc(code)
                statement = ''
            self.out.append(code)
            self.scopes.feed(code)
        return end


class Member:
    """What the filter needs to know of one declaration: its name, whether it is a function and
    whether it overrides one."""

    def __init__(self, statement):
        self.overrides = re.search(r'\boverride\b', statement) is not None
        head = re.split(r'[;{=]', statement, maxsplit=1)[0]
        operator = re.search(r'\boperator\s*([^\s(]+|\(\))\s*\(', head)
        call = re.search(r'(~?\w+)\s*\(', head)
        self.function = bool(operator or call)
        if operator:
            self.name = 'operator' + operator.group(1)
        elif call:
            self.name = call.group(1)
        else:
            names = re.findall(r'\w+', re.split(r'\[', head)[0])
            self.name = names[-1] if names else ''

    def shares_comment_with(self, other):
        """A comment above a run serves every field of it, and the functions of one family: the
        same name, or names with a common start or end of three characters or more (Read8 and
        ReadBE16, SetLogLevel and GetLogLevel). An override takes its base's documentation."""
        if other.overrides:
            return False
        if not (self.function or other.function):
            return True
        if self.function != other.function:
            return False
        a, b = self.name, other.name
        if a == b:
            return True
        if a.startswith('operator') or b.startswith('operator'):
            return False
        return len(os.path.commonprefix([a, b])) >= 3 or len(os.path.commonprefix([a[::-1], b[::-1]])) >= 3


def group_definition(name, lines):
    """The subsystem header: its first comment, "Title: text", defines the group."""
    out = []
    for line in lines:
        if name and plain_comment(line):
            title, _, rest = comment_text(line).partition(':')
            out.append('/// \\defgroup %s %s\n/// %s\n' % (name, title.strip(), rest.strip()))
            name = None
        else:
            out.append(line)
    return out


def main():
    path = sys.argv[1]
    with open(path, encoding='latin-1') as f:
        lines = f.readlines()
    name, defines = subsystem_of(path)
    if defines:
        lines = group_definition(name, lines)
    else:
        lines = HeaderFilter(lines, name).run()
    sys.stdout.write(''.join(lines))


if __name__ == '__main__':
    main()
