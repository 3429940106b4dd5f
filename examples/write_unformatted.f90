! write_unformatted: writes a complex section as kvax reads and writes it (little-endian,
! tag length 2) with plain sequential unformatted I/O: a K x L grid whose cell (i, j)
! holds (i + 100 j, -j / 4), grid type M, tag "M2", version 1.
!
! Build and run:  gfortran -O2 -o write_unformatted write_unformatted.f90
!                 ./write_unformatted 2160 1080 m2.u
! One WRITE statement is one record: the header record holds K, L, the grid letter, the
! element word, the tag and the version packed without padding; then one record a row,
! row L first and row 1 last. Add convert='big_endian' to the open statement for a
! big-endian file (read it with kvax.out -BE).
program write_unformatted
  implicit none
  integer(4) :: k, l, i, j, ios
  complex(4), allocatable :: cells(:, :)
  character(len=4096) :: arg, path

  if (command_argument_count() /= 3) then
    write (0, '(a)') 'usage: write_unformatted K L FILE'
    stop 2
  end if
  call get_command_argument(1, arg)
  read (arg, *) k
  call get_command_argument(2, arg)
  read (arg, *) l
  call get_command_argument(3, path)
  allocate (cells(k, l))
  do j = 1, l
    do i = 1, k
      cells(i, j) = cmplx(real(i + 100 * j, 4), -real(j, 4) / 4.0, kind=4)
    end do
  end do
  open (10, file=trim(path), status='replace', access='sequential', form='unformatted', &
        action='write', iostat=ios)
  if (ios /= 0) then
    write (0, '(2a)') 'write_unformatted: cannot open ', trim(path)
    stop 1
  end if
  write (10) k, l, 'M', 'CMPX', 'M2', 1_4
  do j = l, 1, -1
    write (10) cells(:, j)
  end do
  close (10)
end program write_unformatted
