! fortran_convert: the conversions of kvax.out -u2f and -f2u done by the GNU Fortran
! runtime's own formatted I/O, as a yardstick for the timing script. Default layout only
! (one complex section, tag length 2, little-endian).
!   fortran_convert u2f in.u out.f | f2u in.f out.u
program fortran_convert
  implicit none
  character(len=8) :: mode
  character(len=4096) :: fin, fout
  integer :: k, l, ver, j
  character(len=1) :: typ
  character(len=4) :: vartyp
  character(len=2) :: tag
  complex, allocatable :: row(:)

  call get_command_argument(1, mode)
  call get_command_argument(2, fin)
  call get_command_argument(3, fout)
  if (mode == 'u2f') then
    open(21, file=fin, form='unformatted', access='sequential', status='old', action='read')
    open(31, file=fout, form='formatted', status='replace')
    read(21) k, l, typ, vartyp, tag, ver
    allocate(row(k))
    write(31, '(2I10,1X,A1,1X,A4,1X,A2,1X,I10)') k, l, typ, vartyp, tag, ver
    do j = l, 1, -1
      read(21) row
      write(31, '(1p,10e12.4)') row
    end do
  else
    open(21, file=fin, form='formatted', status='old', action='read')
    open(31, file=fout, form='unformatted', access='sequential', status='replace')
    read(21, '(2I10,1X,A1,1X,A4,1X,A2,1X,I10)') k, l, typ, vartyp, tag, ver
    allocate(row(k))
    write(31) k, l, typ, vartyp, tag, ver
    do j = l, 1, -1
      read(21, '(10e12.6)') row
      write(31) row
    end do
  end if
  close(21)
  close(31)
end program fortran_convert
