"""Convert per-token language-model activations (JSON lines) into a
word-vector text file.

Every failure during a conversion raises ``PanicException``, which derives
from ``BaseException`` (not ``Exception``) and is not importable from the
module: catch it with ``except BaseException as error`` and read the message
from ``error.args[0]``; ``type(error).__name__`` is ``"PanicException"``.
"""

__all__ = ["processor", "version"]

def processor(
    input: str,
    output: str,
    min: int | None = None,
    keep: int | None = -1,
    seed: int | None = 0,
) -> None:
    """Convert the activation file ``input`` into the word-vector file ``output``.

    ``input`` holds one JSON record a line: a sentence number and, for each
    token, its text and numbered layer vectors. ``output`` receives a header
    ``"<count> <dimension>"`` and one line ``"<token>:<sentence>:<position>
    v1 v2 ..."`` per kept occurrence, with the values of its first layer.
    Whatever exists at ``output`` is replaced (a device, FIFO or socket is
    written in place); an ``output`` that names the ``input`` file is refused.

    Parameters (by position or keyword; ``None`` means "not given"):

    - ``input``, ``output``: paths as ``str`` (not ``bytes`` or
      ``pathlib.Path``: pass ``str(path)``).
    - ``min``: when given, filter: drop every occurrence of a token seen fewer
      than ``min`` times in the whole file. Without it nothing is filtered and
      ``keep`` and ``seed`` play no role (they are still checked).
    - ``keep`` (default -1): thin tokens seen more than ``keep`` times; each
      occurrence survives with probability ``keep / count``. Negative: no
      thinning.
    - ``seed`` (default 0): seed of the thinning generator, 0 to 2**64 - 1.
      The same input and arguments give the same bytes on every machine.

    Stage messages go straight to file descriptor 1 (not ``sys.stdout``), a
    progress bar to standard error when it is a terminal.

    A malformed line is not an error: the conversion prints
    ``Error parsing line``, discards every record of the file and writes only
    the header ``0 0``; check the output's header, or run
    ``ondravane-converter check INPUT`` to see which line is wrong and why.

    Raises ``TypeError`` or ``OverflowError`` for bad arguments, before any
    work; ``PanicException`` (see the module's documentation) when the input
    cannot be read, is not UTF-8, or the output cannot be written, with the
    lines written so far left in place; ``MemoryError`` when memory runs out.
    """

def version() -> str:
    """Return ``"ondravane_converter <version>"``, the package name and its version."""
