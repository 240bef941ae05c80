// Placeholder so the target has a source until the layer has its own.
