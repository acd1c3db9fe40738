// The update form (filled in by the form view).
