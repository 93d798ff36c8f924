__all__ = ["processor", "version"]

def processor(
    input: str,
    output: str,
    min: int | None = ...,
    keep: int | None = ...,
    seed: int | None = ...,
) -> None: ...
def version() -> str: ...
