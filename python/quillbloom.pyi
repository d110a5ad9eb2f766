"""Depth of field ("bokeh") on numpy arrays, as the tool `quillbloom render` renders it."""

from typing import Any, Callable, Optional, Tuple, TypedDict, Union

import numpy as np
import numpy.typing as npt

__version__: str

class Control(TypedDict):
    name: str
    kind: str
    default: Any
    min: Optional[float]
    max: Optional[float]
    choices: Optional[list[str]]

def render(
    image: npt.NDArray[Union[np.uint8, np.uint16, np.float32]],
    distance: Optional[npt.NDArray[Union[np.uint8, np.uint16, np.float32, np.float64]]] = None,
    *,
    focus: Optional[float] = None,
    focus_at: Optional[Tuple[float, float]] = None,
    amount: float = ...,
    shape: Optional[str] = ...,
    hardness: float = ...,
    brightness: float = ...,
    quality: Optional[Union[str, int]] = ...,
    precision: float = ...,
    alpha_bokeh: Optional[float] = None,
    downsample: int = 1,
    threads: Optional[int] = None,
    progress: Optional[Callable[[float], Any]] = None,
) -> npt.NDArray[Any]:
    """Renders the depth of field of `image` by `distance`; returns a new array of the image's
    type and channels (with downsample N: ceil(H / N) x ceil(W / N)). The defaults of the
    controls are the effect's own; help(quillbloom.render) shows them and every argument."""

def shapes() -> list[str]:
    """The names of the iris shapes, in menu order."""

def controls() -> list[Control]:
    """The effect's controls: name, kind, default, valid range and menu entries."""
